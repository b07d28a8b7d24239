#pragma once

#include "platform/FileDescriptor.h"

#include <QObject>

class QSocketNotifier;

namespace lumarient {

// Turns SIGINT and SIGTERM into a normal application quit, so the work attached
// to the application's end runs just as when the user quits from the menu.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

private:
    FileDescriptor reader_;
    FileDescriptor writer_;
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace lumarient
