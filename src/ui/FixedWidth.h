#pragma once

class QWidget;

namespace lumarient {

// Gives a window the fixed `width` and the height its content needs at that
// width (wrapped texts included), so it is neither resizable nor clipped.
void fitToWidth(QWidget &window, int width);

} // namespace lumarient
