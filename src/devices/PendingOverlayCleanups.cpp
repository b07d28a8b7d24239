#include "devices/PendingOverlayCleanups.h"

#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/Companion.h"

#include <QStringList>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace lumarient {
namespace {

const QString pendingCleanupsKey = QStringLiteral("pendingOverlayCleanups");

} // namespace

PendingOverlayCleanups::PendingOverlayCleanups(UserDefaults &defaults) : defaults_(defaults)
{
    const QStringList pending = defaults_.stringArray(pendingCleanupsKey);
    models_ = QSet<QString>(pending.begin(), pending.end());
}

void PendingOverlayCleanups::remember(const QString &model)
{
    models_.insert(model);
    store();
}

bool PendingOverlayCleanups::take(const QString &model)
{
    if (!models_.remove(model))
        return false;
    store();
    return true;
}

void PendingOverlayCleanups::store()
{
    QStringList models(models_.cbegin(), models_.cend());
    models.sort();
    defaults_.setValue(pendingCleanupsKey, models);
}

void PendingOverlayCleanups::removeAtQuit(const std::vector<OpenDesktop> &desktops, const ADB &adb,
                                          const Companion &companion)
{
    // The app is about to go: wait for the phones here, all at once, on a pool
    // of our own so no queued background work stands in the way.
    std::vector<std::atomic<bool>> removed(desktops.size());
    QThreadPool quitPool;
    quitPool.setMaxThreadCount(std::max(1, int(desktops.size())));
    for (std::size_t index = 0; index < desktops.size(); ++index) {
        if (!desktops[index].serial)
            continue;
        quitPool.start([&adb, &companion, &removed, index, serial = *desktops[index].serial] {
            companion.notifySession(serial, QStringLiteral("ended"));
            removed[index] = adb.deleteOverlayDisplay(serial);
        });
    }
    quitPool.waitForDone();
    for (std::size_t index = 0; index < desktops.size(); ++index) {
        if (!removed[index])
            remember(desktops[index].model);
    }
}

} // namespace lumarient
