#include "appwindows/AndroidApp.h"

namespace lumarient {

QString AndroidApp::label() const
{
    QString last = package.section(QLatin1Char('.'), -1);
    if (!last.isEmpty())
        last[0] = last[0].toUpper();
    return last;
}

bool AndroidApp::isValidPackage(const QString &package)
{
    if (package.isEmpty() || package.size() > 255)
        return false;
    for (const QChar c : package) {
        const bool allowed =
            (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('.');
        if (!allowed)
            return false;
    }
    return true;
}

} // namespace lumarient
