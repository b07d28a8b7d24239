#include "PackageCommands.h"

#include <QFile>
#include <QRegularExpression>

namespace phonesim {
namespace {

const QString companionPackage = QStringLiteral("com.corvantil.lumarient.companion");

bool granted(const SimPhone &phone, const QString &package, const QString &permission)
{
    return phone.grantedPermissions.contains(package + ' ' + permission);
}

QString grantLine(const SimPhone &phone, const QString &package, const QString &permission, const QString &indent)
{
    return QStringLiteral("%1%2: granted=%3\n")
        .arg(indent, permission,
             granted(phone, package, permission) ? QStringLiteral("true") : QStringLiteral("false"));
}

// The value of `--es NAME VALUE` or `--ei NAME VALUE` in an am command.
QString extra(const QStringList &words, const QString &name)
{
    for (qsizetype index = 0; index + 2 < words.size(); ++index) {
        if ((words[index] == QLatin1String("--es") || words[index] == QLatin1String("--ei")) &&
            words[index + 1] == name)
            return words[index + 2];
    }
    return QString();
}

QString option(const QStringList &words, const QString &name)
{
    const qsizetype index = words.indexOf(name);
    return index >= 0 ? words.value(index + 1) : QString();
}

} // namespace

Reply dumpPackage(const SimPhone &phone, const QString &package)
{
    if (!phone.packages.contains(package))
        return {QStringLiteral("Dexopt state:\n  Unable to find package: %1\n\n").arg(package), 0};
    QString text =
        QStringLiteral("Activity Resolver Table:\n  Non-Data Actions:\n"
                       "      android.intent.action.MAIN:\n        5c1e2f0 %1/.MainActivity filter 9d3a411\n\n"
                       "Packages:\n"
                       "  Package [%1] (7a04c55):\n"
                       "    userId=10243\n"
                       "    pkg=Package{1b2e8c9 %1}\n"
                       "    codePath=/data/app/~~Qw3rTy==/%1-Zx8vB2==\n"
                       "    versionCode=%2 minSdk=29 targetSdk=34\n"
                       "    versionName=1.%2\n"
                       "    flags=[ HAS_CODE ALLOW_CLEAR_USER_DATA ALLOW_BACKUP ]\n"
                       "    requested permissions:\n"
                       "      android.permission.INTERNET\n"
                       "      android.permission.WRITE_SECURE_SETTINGS\n"
                       "      android.permission.POST_NOTIFICATIONS\n"
                       "    install permissions:\n"
                       "      android.permission.INTERNET: granted=true\n")
            .arg(package)
            .arg(phone.packages.value(package));
    text +=
        grantLine(phone, package, QStringLiteral("android.permission.WRITE_SECURE_SETTINGS"), QStringLiteral("      "));
    text += QStringLiteral("    User 0: ceDataInode=131075 installed=true hidden=false suspended=false "
                           "distractionFlags=0 stopped=false notLaunched=false enabled=0 instant=false virtual=false\n"
                           "      runtime permissions:\n");
    text +=
        grantLine(phone, package, QStringLiteral("android.permission.POST_NOTIFICATIONS"), QStringLiteral("        "));
    return {text, 0};
}

Reply packageManager(SimPhone &phone, const QStringList &words)
{
    const QString verb = words.value(1);
    if ((verb == QLatin1String("grant") || verb == QLatin1String("revoke")) && words.size() == 4) {
        const QString &package = words[2];
        if (!phone.packages.contains(package))
            return {QStringLiteral("Exception occurred while executing '%1':\n"
                                   "java.lang.IllegalArgumentException: Unknown package: %2\n")
                        .arg(verb, package),
                    255};
        const QString entry = package + ' ' + words[3];
        phone.grantedPermissions.removeAll(entry);
        if (verb == QLatin1String("grant"))
            phone.grantedPermissions.append(entry);
        return {QString(), 0};
    }
    if (verb == QLatin1String("list") && words.value(2) == QLatin1String("packages")) {
        QString text;
        for (auto it = phone.packages.cbegin(); it != phone.packages.cend(); ++it)
            text += QStringLiteral("package:") + it.key() + '\n';
        return {text, 0};
    }
    return {QStringLiteral("Unknown command: %1\n").arg(verb), 255};
}

Reply activityManager(SimPhone &phone, const QStringList &words)
{
    const QString verb = words.value(1);
    const QString component = option(words, QStringLiteral("-n"));
    const QString action = option(words, QStringLiteral("-a"));
    const bool hasExtras = words.contains(QStringLiteral("--es")) || words.contains(QStringLiteral("--ei"));
    QString intent = QStringLiteral("Intent { ");
    if (!action.isEmpty())
        intent += QStringLiteral("act=") + action + ' ';
    if (verb == QLatin1String("broadcast"))
        intent += QStringLiteral("flg=0x400000 ");
    if (!component.isEmpty())
        intent += QStringLiteral("cmp=") + component + ' ';
    if (hasExtras)
        intent += QStringLiteral("(has extras) ");
    intent += '}';
    const bool installed = phone.packages.contains(component.section('/', 0, 0));

    if (verb == QLatin1String("broadcast")) {
        if (installed && component == companionPackage + QStringLiteral("/.SessionReceiver")) {
            if (action == QLatin1String("com.corvantil.lumarient.SESSION")) {
                phone.companionSession = extra(words, QStringLiteral("state"));
                const QString transport = extra(words, QStringLiteral("transport"));
                if (!transport.isEmpty())
                    phone.companionSession += ' ' + transport;
            } else if (action == QLatin1String("com.corvantil.lumarient.DISPLAY_STOP")) {
                phone.displayReceiver.clear();
            }
        }
        return {QStringLiteral("Broadcasting: %1\nBroadcast completed: result=0\n").arg(intent), 0};
    }
    if (verb == QLatin1String("start")) {
        if (!installed)
            return {QStringLiteral("Starting: %1\nError type 3\nError: Activity class {%2} does not exist.\n")
                        .arg(intent, component),
                    0};
        if (component == companionPackage + QStringLiteral("/.DisplayActivity"))
            phone.displayReceiver = extra(words, QStringLiteral("w")) + 'x' + extra(words, QStringLiteral("h"));
        return {QStringLiteral("Starting: %1\n").arg(intent), 0};
    }
    return {QStringLiteral("Error: unknown command '%1'\n").arg(verb), 255};
}

Reply install(SimPhone &phone, const QStringList &words)
{
    const bool replace = words.contains(QStringLiteral("-r"));
    const QString path = words.size() > 1 ? words.last() : QString();
    QFile apk(path);
    if (path.isEmpty() || path.startsWith('-') || !apk.open(QIODevice::ReadOnly))
        return {QStringLiteral("adb: failed to stat %1: No such file or directory\n").arg(path), 1};
    // A stand-in APK names its package and version in its text; a real one
    // (or anything else) installs as the companion at the required version.
    const QString content = QString::fromLatin1(apk.read(4096));
    static const QRegularExpression packagePattern(QStringLiteral(R"(package=([\w.]+))"));
    static const QRegularExpression versionPattern(QStringLiteral(R"(versionCode=(\d+))"));
    const QRegularExpressionMatch packageMatch = packagePattern.match(content);
    const QRegularExpressionMatch versionMatch = versionPattern.match(content);
    const QString package = packageMatch.hasMatch() ? packageMatch.captured(1) : companionPackage;
    const int version = versionMatch.hasMatch() ? versionMatch.captured(1).toInt() : 6;
    if (phone.packages.contains(package) && !replace)
        return {
            QStringLiteral("Performing Streamed Install\nadb: failed to install %1: Failure "
                           "[INSTALL_FAILED_ALREADY_EXISTS: Attempt to re-install %2 without first uninstalling.]\n")
                .arg(path, package),
            1};
    phone.packages.insert(package, version);
    return {QStringLiteral("Performing Streamed Install\nSuccess\n"), 0};
}

Reply reverse(SimPhone &phone, const QString &serial, const QStringList &words)
{
    static const QRegularExpression socketSpec(QStringLiteral(R"(^(tcp:\d+|localabstract:\S+)$)"));
    if (words.value(1) == QLatin1String("--list")) {
        QString text;
        for (const QString &entry : phone.reversedPorts)
            text += serial + ' ' + entry + '\n';
        return {text, 0};
    }
    if (words.value(1) == QLatin1String("--remove-all")) {
        phone.reversedPorts.clear();
        return {QString(), 0};
    }
    if (words.value(1) == QLatin1String("--remove") && words.size() == 3) {
        const qsizetype removed =
            phone.reversedPorts.removeIf([&](const QString &entry) { return entry.section(' ', 0, 0) == words[2]; });
        if (removed == 0)
            return {QStringLiteral("adb: error: listener '%1' not found\n").arg(words[2]), 1};
        return {QString(), 0};
    }
    if (words.size() == 3 && socketSpec.match(words[1]).hasMatch() && socketSpec.match(words[2]).hasMatch()) {
        phone.reversedPorts.removeIf([&](const QString &entry) { return entry.section(' ', 0, 0) == words[1]; });
        phone.reversedPorts.append(words[1] + ' ' + words[2]);
        return {QString(), 0};
    }
    return {QStringLiteral("adb: error: cannot bind listener: bad socket specification\n"), 1};
}

} // namespace phonesim
