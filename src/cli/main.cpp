// lumarient-cli: runs the menu's actions of the running app over the session bus.

#include "api/BusNames.h"
#include "cli/CliCommand.h"
#include "cli/StateText.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdio>

using namespace lumarient;
using namespace lumarient::cli;

namespace {

void write(std::FILE *stream, const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
}

int report(const CliCommand &command, int code, const QString &message)
{
    if (command.json) {
        write(stdout,
              toJson(QVariantMap{{QStringLiteral("ok"), code == exitOk},
                                 {QStringLiteral("error"), message.isEmpty() ? QVariant() : QVariant(message)}}));
    } else if (!message.isEmpty()) {
        write(stderr, QStringLiteral("lumarient-cli: %1\n").arg(message).toUtf8());
    }
    return code;
}

QDBusMessage call(QDBusConnection bus, const QString &method, const QVariantList &arguments)
{
    QDBusMessage request =
        QDBusMessage::createMethodCall(bus::serviceName(), bus::objectPath(), bus::interfaceName(), method);
    request.setArguments(arguments);
    // Pairing answers once the phone is connected, which takes a while.
    return bus.call(request, QDBus::Block, method == QStringLiteral("Pair") ? 120000 : 30000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const CliCommand command = parseCommand(application.arguments().mid(1));
    switch (command.kind) {
    case CliCommand::Kind::help:
        write(stdout, usageText().toUtf8());
        return exitOk;
    case CliCommand::Kind::version:
        write(stdout, QByteArray("lumarient-cli " LUMARIENT_VERSION "\n"));
        return exitOk;
    case CliCommand::Kind::usageError:
        write(stderr, QStringLiteral("lumarient-cli: %1\n\n%2").arg(command.problem, usageText()).toUtf8());
        return exitUsage;
    default:
        break;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return report(command, exitNotRunning, QStringLiteral("no session bus, so Lumarient cannot be running"));

    const bool readsState = command.kind != CliCommand::Kind::call;
    const QDBusMessage reply = call(bus, readsState ? QStringLiteral("GetState") : command.method, command.arguments);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const int code = exitCodeForError(reply.errorName());
        return report(command, code,
                      code == exitNotRunning ? QStringLiteral("Lumarient is not running") : reply.errorMessage());
    }
    if (!readsState)
        return report(command, exitOk, QString());

    const QVariantMap state = plainState(reply.arguments().value(0));
    if (command.kind == CliCommand::Kind::devices)
        write(stdout, command.json ? toJson(state.value(QStringLiteral("phones"))) : devicesText(state).toUtf8());
    else
        write(stdout, command.json ? toJson(state) : statusText(state).toUtf8());
    return exitOk;
}
