#include "tooling/ListingTroubleLog.h"

#include "platform/Log.h"

namespace lumarient {
namespace {

// A failing adb may print a lot; the log gets the start of it.
QString elided(const QString &text)
{
    constexpr qsizetype kept = 300;
    return text.size() <= kept ? text : text.first(kept) + QChar(0x2026);
}

} // namespace

void ListingTroubleLog::failed(const ShellError &error)
{
    QString kind;
    if (error.kind() == ShellError::Kind::launchFailed) {
        kind = QStringLiteral("launch ") + error.launchText();
    } else {
        // The exit code (or signal) and how a stopped run was stopped; not the
        // output, which may differ at every poll.
        kind = QStringLiteral("exit %1").arg(error.code());
        const QString lastLine = error.output().section(QLatin1Char('\n'), -1);
        if (lastLine.startsWith(QLatin1String("Stopped: ")))
            kind += QLatin1Char(' ') + lastLine;
    }
    note(kind, QStringLiteral("Listing devices failed: ") + elided(error.description()));
}

void ListingTroubleLog::answered(const QString &output)
{
    if (output.contains(QLatin1String("List of devices attached"))) {
        std::lock_guard lock(mutex_);
        lastKind_.clear();
        return;
    }
    const QString trimmed = output.trimmed();
    if (trimmed.isEmpty())
        note(QStringLiteral("empty"), QStringLiteral("Listing devices gave an empty answer, or one that is not UTF-8"));
    else
        note(QStringLiteral("unexpected"),
             QStringLiteral("Listing devices gave an unexpected answer: ") + elided(trimmed));
}

void ListingTroubleLog::note(const QString &kind, const QString &message)
{
    {
        std::lock_guard lock(mutex_);
        if (kind == lastKind_)
            return;
        lastKind_ = kind;
    }
    logLine(QStringLiteral("Lumarient"), message);
}

} // namespace lumarient
