#include "cli/CliCommand.h"

#include <QHash>

namespace lumarient::cli {
namespace {

struct Verb {
    QString method;
    // "NAME", "CODE" or empty for none.
    QString operand;
};

const QHash<QString, Verb> &verbs()
{
    static const QHash<QString, Verb> table = {
        {QStringLiteral("mirror"), {QStringLiteral("Mirror"), QStringLiteral("NAME")}},
        {QStringLiteral("desktop"), {QStringLiteral("Desktop"), QStringLiteral("NAME")}},
        {QStringLiteral("invisible"), {QStringLiteral("InvisibleDesktop"), QStringLiteral("NAME")}},
        {QStringLiteral("display"), {QStringLiteral("SecondDisplay"), QStringLiteral("NAME")}},
        {QStringLiteral("keyboard"), {QStringLiteral("KeyboardMouse"), QStringLiteral("NAME")}},
        {QStringLiteral("stop"), {QStringLiteral("Stop"), QStringLiteral("NAME")}},
        {QStringLiteral("wifi"), {QStringLiteral("SwitchToWifi"), QStringLiteral("NAME")}},
        {QStringLiteral("pair"), {QStringLiteral("Pair"), QStringLiteral("CODE")}},
        {QStringLiteral("refresh"), {QStringLiteral("Refresh"), QString()}},
        {QStringLiteral("scan"), {QStringLiteral("Scan"), QString()}},
        {QStringLiteral("show"), {QStringLiteral("ShowWindow"), QString()}},
        {QStringLiteral("settings"), {QStringLiteral("ShowSettings"), QString()}},
        {QStringLiteral("updates"), {QStringLiteral("CheckForUpdates"), QString()}},
        {QStringLiteral("quit"), {QStringLiteral("Quit"), QString()}},
    };
    return table;
}

CliCommand usageError(const QString &problem)
{
    CliCommand command;
    command.problem = problem;
    return command;
}

} // namespace

QString usageText()
{
    return QStringLiteral("Usage: lumarient-cli [--json] COMMAND\n"
                          "Scripts the running Lumarient app.\n"
                          "\n"
                          "Commands:\n"
                          "  devices        the phones adb lists\n"
                          "  status         what the menu shows: phones, sessions, errors\n"
                          "  mirror NAME    Mirror Screen\n"
                          "  desktop NAME   Desktop Mode\n"
                          "  invisible NAME Desktop Mode (invisible)\n"
                          "  display NAME   Use as Second Display\n"
                          "  keyboard NAME  Keyboard & Mouse Only\n"
                          "  stop NAME      stop whatever runs for the phone\n"
                          "  wifi NAME      Switch to Wi-Fi\n"
                          "  pair CODE [PHONE]  pair the phone offering a pairing code\n"
                          "  refresh        Refresh Devices\n"
                          "  scan           Scan Network for Devices\n"
                          "  show           bring the app's window forward\n"
                          "  settings       open the settings window\n"
                          "  updates        Check for Updates\n"
                          "  quit           Quit Lumarient\n"
                          "\n"
                          "NAME is a configuration's name or id, or a phone's name, model or serial\n"
                          "(case does not matter).\n"
                          "\n"
                          "Options:\n"
                          "  --json         machine-readable output\n"
                          "  --help         this text\n"
                          "  --version      the version\n"
                          "\n"
                          "Exit status: 0 done, 1 the action failed, 2 usage error (unknown or\n"
                          "ambiguous NAME included), 3 Lumarient is not running.\n");
}

CliCommand parseCommand(const QStringList &arguments)
{
    bool json = false;
    QStringList words;
    for (const QString &argument : arguments) {
        if (argument == QStringLiteral("--json")) {
            json = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            return {CliCommand::Kind::help, json, {}, {}, {}};
        } else if (argument == QStringLiteral("--version")) {
            return {CliCommand::Kind::version, json, {}, {}, {}};
        } else if (argument.startsWith(QLatin1Char('-')) && words.isEmpty()) {
            return usageError(QStringLiteral("unknown option ") + argument);
        } else {
            words.append(argument);
        }
    }
    if (words.isEmpty())
        return usageError(QStringLiteral("no command given"));

    const QString verb = words.takeFirst();
    CliCommand command;
    command.json = json;
    if (verb == QStringLiteral("devices") || verb == QStringLiteral("status")) {
        if (!words.isEmpty())
            return usageError(verb + QStringLiteral(" takes no arguments"));
        command.kind = verb == QStringLiteral("devices") ? CliCommand::Kind::devices : CliCommand::Kind::status;
        return command;
    }
    const auto found = verbs().constFind(verb);
    if (found == verbs().cend())
        return usageError(QStringLiteral("unknown command ") + verb);
    command.kind = CliCommand::Kind::call;
    command.method = found->method;
    if (found->operand.isEmpty()) {
        if (!words.isEmpty())
            return usageError(verb + QStringLiteral(" takes no arguments"));
        return command;
    }
    if (found->operand == QStringLiteral("CODE")) {
        if (words.isEmpty() || words.size() > 2)
            return usageError(QStringLiteral("pair takes a CODE and, where several phones offer one, the PHONE"));
        command.arguments = {words.value(0), words.value(1)};
        return command;
    }
    const QString name = words.join(QLatin1Char(' ')).trimmed();
    if (name.isEmpty())
        return usageError(verb + QStringLiteral(" needs a NAME"));
    command.arguments = {name};
    return command;
}

} // namespace lumarient::cli
