#include "ui/TextStyle.h"

#include "ui/RichText.h"

#include <QLabel>

namespace lumarient {

QLabel *richLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(boldSpansToHtml(text), parent);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    return label;
}

QLabel *secondary(QLabel *label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

void scaleFont(QWidget *widget, qreal factor, bool bold)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    widget->setFont(font);
}

} // namespace lumarient
