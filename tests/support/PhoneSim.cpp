#include "support/PhoneSim.h"

#include "Text.h"
#include "support/FreePort.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace lumarient::test {

PhoneSim::PhoneSim() : store_(folder_.path().toStdString())
{
    if (!folder_.isValid())
        throw std::runtime_error("cannot create the phone simulator's folder");
    QDir(folder_.path()).mkdir(QStringLiteral("bin"));
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), adbPath());
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), scrcpyPath());
    store_.update([](phonesim::SimState &) {});
    qputenv("LUMARIENT_PHONESIM_DIR", folder_.path().toLocal8Bit());
    serverPort_ = freeLoopbackPort();
    qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(serverPort_));
}

PhoneSim::~PhoneSim()
{
    stopServer();
    qunsetenv("ANDROID_ADB_SERVER_PORT");
    qunsetenv("LUMARIENT_PHONESIM_DIR");
}

bool PhoneSim::startServer()
{
    server_.start(QStringLiteral(PHONESIM_EXECUTABLE), {QStringLiteral("adb-server"), QString::number(serverPort_)});
    if (!server_.waitForStarted())
        return false;
    // Up once it accepts a connection.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(serverPort_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool accepted = ::connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(probe);
        if (accepted)
            return true;
        if (server_.waitForFinished(10))
            return false;
    }
    return false;
}

void PhoneSim::stopServer()
{
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.kill();
    server_.waitForFinished();
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
    store_.update([&](phonesim::SimState &state) { state.phones.push_back(phone); });
}

void PhoneSim::addRule(const phonesim::SimRule &rule)
{
    store_.update([&](phonesim::SimState &state) { state.rules.push_back(rule); });
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
        if (phone.usbSerial == usbSerial.toStdString())
            return phone;
    }
    throw std::runtime_error("no such simulated phone");
}

std::vector<phonesim::SimInvocation> PhoneSim::invocations() const
{
    return store_.invocations();
}

QStringList PhoneSim::adbCommands() const
{
    QStringList commands;
    for (const phonesim::SimInvocation &invocation : invocations()) {
        if (invocation.tool == "adb")
            commands.append(QString::fromStdString(phonesim::join(invocation.arguments)));
    }
    return commands;
}

void PhoneSim::clearInvocations()
{
    store_.clearInvocations();
}

std::vector<phonesim::SimInputRecord> PhoneSim::inputRecords() const
{
    return store_.inputRecords();
}

QStringList PhoneSim::watcherInput() const
{
    QStringList lines;
    for (const std::string &line : store_.watcherInput())
        lines.append(QString::fromStdString(line));
    return lines;
}

void PhoneSim::printFromWatcher(const QByteArray &text)
{
    store_.appendWatcherOutput(text.toStdString());
}

phonesim::SimPhone makePhone(const QString &usbSerial, const QString &model)
{
    phonesim::SimPhone phone;
    phone.usbSerial = usbSerial.toStdString();
    phone.model = model.toStdString();
    phone.wlanAddress = "192.168.1.23";
    phone.props["ro.product.model"] = phone.model;
    return phone;
}

QList<QStringList> PhoneSim::scrcpyRuns() const
{
    QList<QStringList> runs;
    for (const phonesim::SimInvocation &invocation : invocations()) {
        if (invocation.tool != "scrcpy")
            continue;
        QStringList arguments;
        for (const std::string &argument : invocation.arguments)
            arguments.append(QString::fromStdString(argument));
        runs.append(arguments);
    }
    return runs;
}

} // namespace lumarient::test
