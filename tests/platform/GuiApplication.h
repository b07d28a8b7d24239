#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <functional>

namespace lumarient::test {

// One offscreen QGuiApplication for the whole test process, made on first use.
inline void ensureGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "platform_backend_tests";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(argc, argv);
}

// Runs the event loop until `done` holds or `timeoutMs` has passed.
inline bool processEventsUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace lumarient::test
