#include "input/StandInPlacement.h"

namespace lumarient {

Placement placementOf(const DisplayRect &standIn, const DisplayRect &main)
{
    if (standIn.right() <= main.x)
        return Placement::left;
    if (main.right() <= standIn.x)
        return Placement::right;
    if (standIn.bottom() <= main.y)
        return Placement::above;
    if (main.bottom() <= standIn.y)
        return Placement::below;
    return Placement::overlapping;
}

QString placementPhrase(Placement placement)
{
    switch (placement) {
    case Placement::left:
        return QStringLiteral("to the left of your main display");
    case Placement::right:
        return QStringLiteral("to the right of your main display");
    case Placement::above:
        return QStringLiteral("above your main display");
    case Placement::below:
        return QStringLiteral("below your main display");
    case Placement::overlapping:
        break;
    }
    return QStringLiteral("overlapping your main display");
}

QString placementName(Placement placement)
{
    switch (placement) {
    case Placement::left:
        return QStringLiteral("left");
    case Placement::right:
        return QStringLiteral("right");
    case Placement::above:
        return QStringLiteral("above");
    case Placement::below:
        return QStringLiteral("below");
    case Placement::overlapping:
        break;
    }
    return QStringLiteral("overlapping");
}

std::optional<Placement> placementNamed(const QString &name)
{
    for (Placement placement : {Placement::left, Placement::right, Placement::above, Placement::below}) {
        if (placementName(placement) == name)
            return placement;
    }
    return std::nullopt;
}

std::optional<std::pair<int, int>> standInOrigin(Placement placement, const DisplayRect &main, int width, int height)
{
    const int centredX = main.x + (main.width - width) / 2;
    const int centredY = main.y + (main.height - height) / 2;
    switch (placement) {
    case Placement::left:
        return std::pair{main.x - width, centredY};
    case Placement::right:
        return std::pair{main.right(), centredY};
    case Placement::above:
        return std::pair{centredX, main.y - height};
    case Placement::below:
        return std::pair{centredX, main.bottom()};
    case Placement::overlapping:
        break;
    }
    return std::nullopt;
}

} // namespace lumarient
