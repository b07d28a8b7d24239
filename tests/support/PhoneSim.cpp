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

phonesim::SimPhone PhoneSim::phone(const QString &usbSerial) const
{
    for (const phonesim::SimPhone &phone : state().phones) {
        if (phone.usbSerial == usbSerial.toStdString())
            return phone;
    }
    throw std::runtime_error("no such simulated phone");
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
        if (invocation.tool == "scrcpy")
            runs.append(qStrings(invocation.arguments));
    }
    return runs;
}

QStringList qStrings(const std::vector<std::string> &words)
{
    QStringList strings;
    for (const std::string &word : words)
        strings.append(QString::fromStdString(word));
    return strings;
}

} // namespace lumarient::test
