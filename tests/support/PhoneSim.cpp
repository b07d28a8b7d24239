#include "support/PhoneSim.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace lumarient::test {

PhoneSim::PhoneSim() : store_(folder_.path())
{
    if (!folder_.isValid())
        throw std::runtime_error("cannot create the phone simulator's folder");
    QDir(folder_.path()).mkdir(QStringLiteral("bin"));
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), adbPath());
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), scrcpyPath());
    store_.update([](phonesim::SimState &) {});
    qputenv("LUMARIENT_PHONESIM_DIR", folder_.path().toLocal8Bit());
}

PhoneSim::~PhoneSim()
{
    qunsetenv("LUMARIENT_PHONESIM_DIR");
}

QString PhoneSim::folder() const
{
    return folder_.path();
}

QString PhoneSim::adbPath() const
{
    return folder_.filePath(QStringLiteral("bin/adb"));
}

QString PhoneSim::scrcpyPath() const
{
    return folder_.filePath(QStringLiteral("bin/scrcpy"));
}

void PhoneSim::addPhone(const phonesim::SimPhone &phone)
{
    store_.update([&](phonesim::SimState &state) { state.phones.append(phone); });
}

void PhoneSim::addRule(const phonesim::SimRule &rule)
{
    store_.update([&](phonesim::SimState &state) { state.rules.append(rule); });
}

void PhoneSim::update(const std::function<void(phonesim::SimState &)> &change)
{
    store_.update(change);
}

phonesim::SimState PhoneSim::state() const
{
    return store_.read();
}

phonesim::SimPhone PhoneSim::phone(const QString &usbSerial) const
{
    for (const phonesim::SimPhone &phone : state().phones) {
        if (phone.usbSerial == usbSerial)
            return phone;
    }
    throw std::runtime_error("no such simulated phone");
}

QList<phonesim::SimInvocation> PhoneSim::invocations() const
{
    return store_.invocations();
}

QStringList PhoneSim::adbCommands() const
{
    QStringList commands;
    for (const phonesim::SimInvocation &invocation : invocations()) {
        if (invocation.tool == QLatin1String("adb"))
            commands.append(invocation.arguments.join(QLatin1Char(' ')));
    }
    return commands;
}

void PhoneSim::clearInvocations()
{
    store_.clearInvocations();
}

phonesim::SimPhone makePhone(const QString &usbSerial, const QString &model)
{
    phonesim::SimPhone phone;
    phone.usbSerial = usbSerial;
    phone.model = model;
    phone.wlanAddress = QStringLiteral("192.168.1.23");
    phone.props.insert(QStringLiteral("ro.product.model"), model);
    return phone;
}

} // namespace lumarient::test
