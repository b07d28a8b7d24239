// phone-sim: stands in for `adb` and `scrcpy` (chosen by the name it runs under,
// or by its first argument) against simulated phones kept in the folder named by
// LUMARIENT_PHONESIM_DIR. Every run is appended to that folder's invocation log.

#include "AdbCommand.h"
#include "ScrcpyStandIn.h"
#include "SimStore.h"

#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <thread>

using namespace phonesim;

namespace {

// The first rule that answers this command line, used up by one.
std::optional<SimRule> takeRule(SimState &state, const QString &tool, const QStringList &arguments)
{
    const AdbCommandLine line = tool == QLatin1String("adb") ? splitAdbCommandLine(arguments)
                                                             : AdbCommandLine{QString(), arguments};
    const QString command = line.words.join(' ');
    for (qsizetype index = 0; index < state.rules.size(); ++index) {
        SimRule &rule = state.rules[index];
        if (rule.tool != tool || rule.times == 0)
            continue;
        if (rule.serial != QLatin1String("*") && rule.serial != line.serial)
            continue;
        if (!command.startsWith(rule.commandPrefix))
            continue;
        const SimRule answer = rule;
        if (rule.times > 0)
            --rule.times;
        return answer;
    }
    return std::nullopt;
}

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    QString tool = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    if (tool != QLatin1String("adb") && tool != QLatin1String("scrcpy") && !arguments.isEmpty()) {
        tool = arguments.takeFirst();
    }
    if (tool != QLatin1String("adb") && tool != QLatin1String("scrcpy")) {
        std::fprintf(stderr, "phone-sim: run me as adb or scrcpy\n");
        return 2;
    }
    const QString folder = SimStore::folderFromEnvironment();
    if (folder.isEmpty()) {
        std::fprintf(stderr, "phone-sim: LUMARIENT_PHONESIM_DIR is not set\n");
        return 2;
    }
    const SimStore store(folder);

    SimInvocation invocation{tool, arguments, {}};
    for (const char *name : {"ADB", "SCRCPY_SERVER_PATH"}) {
        if (qEnvironmentVariableIsSet(name))
            invocation.environment.insert(QLatin1String(name), qEnvironmentVariable(name));
    }
    store.appendInvocation(invocation);

    std::optional<SimRule> rule;
    Reply reply;
    store.update([&](SimState &state) {
        rule = takeRule(state, tool, arguments);
        if (!rule && tool == QLatin1String("adb"))
            reply = runAdb(state, arguments);
    });
    if (rule) {
        if (rule->sleepMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(rule->sleepMs));
        print(rule->output);
        return rule->exitCode;
    }
    if (tool == QLatin1String("scrcpy"))
        return runScrcpy(store, arguments);
    print(reply.output);
    return reply.exitCode;
}
