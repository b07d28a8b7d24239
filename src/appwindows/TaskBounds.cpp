#include "appwindows/TaskBounds.h"

#include "tooling/ADB.h"

#include <QStringList>

#include <algorithm>

namespace lumarient::TaskBounds {

std::optional<std::array<int, 4>> parse(const QString &bounds)
{
    const QStringList parts = bounds.split(QLatin1Char(' '));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<int, 4> values{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[std::size_t(i)] = parts[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (values[2] < values[0] || values[3] < values[1])
        return std::nullopt;
    return values;
}

bool isLandscape(const ScreenSize &screen)
{
    return screen.width >= screen.height;
}

QString fitToScreen(const QString &bounds, const std::optional<ScreenSize> &screen,
                    std::optional<bool> capturedLandscape)
{
    const std::optional<std::array<int, 4>> values = parse(bounds);
    if (!values || !screen)
        return bounds;
    // Wide enough for every difference of two ints.
    const qint64 l = (*values)[0], t = (*values)[1], r = (*values)[2], b = (*values)[3];
    const qint64 W = screen->width, H = screen->height;
    const bool turned = capturedLandscape && *capturedLandscape != isLandscape(*screen);
    // Turned: the old vertical extent runs along the screen's width now.
    const qint64 w = std::min(turned ? b - t : r - l, W);
    const qint64 h = std::min(turned ? r - l : b - t, H);
    const qint64 x = std::min(std::max(turned ? t : l, qint64(0)), std::max(W - w, qint64(0)));
    const qint64 y = std::min(std::max(turned ? l : t, qint64(0)), std::max(H - h, qint64(0)));
    return QStringList{QString::number(x), QString::number(y), QString::number(x + w), QString::number(y + h)}.join(
        QLatin1Char(' '));
}

} // namespace lumarient::TaskBounds
