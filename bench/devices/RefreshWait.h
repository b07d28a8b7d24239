#pragma once

#include "devices/DeviceManager.h"

#include <QEventLoop>
#include <QObject>

namespace lumarient::bench {

// Runs the event loop until the manager's current refresh has been applied.
inline void waitForRefresh(DeviceManager &manager)
{
    if (!manager.isRefreshing())
        return;
    QEventLoop loop;
    QObject::connect(&manager, &DeviceManager::refreshFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace lumarient::bench
