#include "ui/FixedWidth.h"

#include <QLayout>
#include <QWidget>

namespace lumarient {

void fitToWidth(QWidget &window, int width)
{
    QLayout *layout = window.layout();
    if (!layout) {
        window.setFixedWidth(width);
        return;
    }
    layout->activate();
    const int height =
        layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->totalSizeHint().height();
    window.setFixedSize(width, height);
}

} // namespace lumarient
