#pragma once

#include "platform/Clipboard.h"

#include <QObject>

namespace lumarient {

// The application's QClipboard. Create it on the main thread; texts set from
// other threads are queued to it and placed there.
class QtClipboard final : public QObject, public Clipboard {
    Q_OBJECT
public:
    explicit QtClipboard(QObject *parent = nullptr);

    void setText(const QString &text) override;
};

} // namespace lumarient
