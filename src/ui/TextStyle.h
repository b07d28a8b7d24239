#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace lumarient {

// A wrapping label whose "**bold**" spans show in bold.
QLabel *richLabel(const QString &text, QWidget *parent);
// Shows `label` in the quieter colour of secondary text; returns it.
QLabel *secondary(QLabel *label);
// Scales the widget's font by `factor`, bold or not.
void scaleFont(QWidget *widget, qreal factor, bool bold = false);

} // namespace lumarient
