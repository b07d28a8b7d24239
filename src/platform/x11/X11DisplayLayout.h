#pragma once

#include "platform/DisplayLayout.h"
#include "platform/x11/XcbConnectionOnDemand.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace lumarient::x11 {

// Displays are RandR monitors; a display's identifier is its monitor's name atom.
// Screen-change events arrive through the Qt event loop of the owning thread.
class X11DisplayLayout final : public QObject, public DisplayLayout {
    Q_OBJECT
public:
    explicit X11DisplayLayout(const char *displayName = nullptr, QObject *parent = nullptr);
    ~X11DisplayLayout() override;

    bool isValid() const { return connection_->isValid(); }

    std::vector<std::uint32_t> activeDisplays() override;
    DisplayRect displayBounds(std::uint32_t displayID) override;
    void setReconfigurationHandler(std::function<void()> handler) override;

private:
    // Run once the connection is made, at first use.
    void watchScreenChanges(XcbConnection &connection);
    void readEvents();

    XcbConnectionOnDemand connection_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> handler_;
    std::uint8_t randrEventBase_ = 0;
};

} // namespace lumarient::x11
