#include "support/NamespaceRun.h"

#include <QProcess>

#include <unistd.h>

namespace lumarient::test {

NamespaceRun runInOwnNamespaces(const QStringList &namespaceFlags, const QString &script, const QString &workFolder,
                                const QString &probe)
{
    QStringList arguments = namespaceFlags;
    if (::geteuid() != 0)
        arguments.prepend(QStringLiteral("-r"));
    arguments << script << workFolder << probe;
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       environment.value(QStringLiteral("PATH")) + QStringLiteral(":/usr/sbin:/sbin"));
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral("unshare"), arguments);

    NamespaceRun result;
    if (!run.waitForStarted())
        return result;
    if (!run.waitForFinished(60000)) {
        run.kill();
        run.waitForFinished();
        result.outcome = NamespaceRun::Outcome::timedOut;
        result.output = QString::fromUtf8(run.readAll());
        return result;
    }
    result.output = QString::fromUtf8(run.readAll());
    result.exitCode = run.exitCode();
    const bool refused = result.exitCode == 77 || result.output.contains(QLatin1String("unshare: unshare failed"));
    result.outcome = refused ? NamespaceRun::Outcome::unavailable : NamespaceRun::Outcome::finished;
    return result;
}

} // namespace lumarient::test
