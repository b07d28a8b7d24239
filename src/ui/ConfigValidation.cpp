#include "ui/ConfigValidation.h"

#include <QRegularExpression>

namespace lumarient {

std::optional<int> parseWifiPort(const QString &text)
{
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,5}")));
    const QString trimmed = text.trimmed();
    if (!digits.match(trimmed).hasMatch())
        return std::nullopt;
    const int port = trimmed.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool isValidResolution(const QString &text)
{
    static const QRegularExpression notation(
        QRegularExpression::anchoredPattern(QStringLiteral("[1-9][0-9]{0,4}x[1-9][0-9]{0,4}/[1-9][0-9]{0,3}")));
    return notation.match(text).hasMatch();
}

} // namespace lumarient
