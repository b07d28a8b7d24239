#include "appwindows/FreeformRestore.h"

#include <QRegularExpression>

namespace lumarient {
namespace {

// adb hands the words to the phone's shell as one command line, so a value that
// is more than a plain word (it came from the phone or the settings file) is
// quoted rather than let run as a command there.
QString shellWord(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._:,+-]+$"));
    if (plain.match(value).hasMatch())
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

std::optional<QStringList> freeformRestoreArguments(const QString &serial, const std::optional<QString> &previous)
{
    if (previous == QStringLiteral("1"))
        return std::nullopt;
    QStringList arguments{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("settings")};
    if (previous && !previous->isEmpty() && *previous != QLatin1String("null"))
        arguments << QStringLiteral("put") << QStringLiteral("global") << QStringLiteral("enable_freeform_support")
                  << shellWord(*previous);
    else
        arguments << QStringLiteral("delete") << QStringLiteral("global") << QStringLiteral("enable_freeform_support");
    return arguments;
}

} // namespace lumarient
