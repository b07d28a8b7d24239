#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace lumarient {

QtClipboard::QtClipboard(QObject *parent) : QObject(parent)
{
}

void QtClipboard::setText(const QString &text)
{
    QMetaObject::invokeMethod(
        this,
        [text] {
            if (QClipboard *clipboard = QGuiApplication::clipboard())
                clipboard->setText(text, QClipboard::Clipboard);
        },
        Qt::QueuedConnection);
}

} // namespace lumarient
