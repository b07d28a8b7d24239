#pragma once

namespace lumarient {

// A rectangle in global display coordinates (origin top left of the screen).
struct DisplayRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool intersects(const DisplayRect &other) const
    {
        return !isEmpty() && !other.isEmpty() && x < other.right() && other.x < right() && y < other.bottom() &&
               other.y < bottom();
    }
    bool operator==(const DisplayRect &) const = default;
};

} // namespace lumarient
