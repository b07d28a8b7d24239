#include "platform/x11/X11DisplayLayout.h"

#include <xcb/randr.h>

#include <QSocketNotifier>

namespace lumarient::x11 {

X11DisplayLayout::X11DisplayLayout(const char *displayName, QObject *parent)
    : QObject(parent), connection_(displayName, [this](XcbConnection &connection) { watchScreenChanges(connection); })
{
}

void X11DisplayLayout::watchScreenChanges(XcbConnection &connection)
{
    if (!connection.isValid()) {
        return;
    }
    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(connection.get(), &xcb_randr_id);
    if (randr == nullptr || !randr->present) {
        return;
    }
    randrEventBase_ = randr->first_event;
    xcb_randr_select_input(connection.get(), connection.root(),
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    xcb_flush(connection.get());
    notifier_ = std::make_unique<QSocketNotifier>(connection.fileDescriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &X11DisplayLayout::readEvents);
}

X11DisplayLayout::~X11DisplayLayout() = default;

std::vector<std::uint32_t> X11DisplayLayout::activeDisplays()
{
    std::vector<std::uint32_t> identifiers;
    for (const MonitorInfo &monitor : queryMonitors(*connection_)) {
        identifiers.push_back(monitor.name);
    }
    // Replies read above may have queued events that the notifier will not see again.
    readEvents();
    return identifiers;
}

DisplayRect X11DisplayLayout::displayBounds(std::uint32_t displayID)
{
    const std::optional<MonitorInfo> monitor = findMonitor(*connection_, displayID);
    readEvents();
    return monitor ? monitor->bounds : DisplayRect{};
}

void X11DisplayLayout::setReconfigurationHandler(std::function<void()> handler)
{
    handler_ = std::move(handler);
    // Changes are seen from the connection's making on.
    if (handler_) {
        connection_.connect();
    }
}

void X11DisplayLayout::readEvents()
{
    if (!connection_.isMade() || !connection_->isValid()) {
        return;
    }
    bool changed = false;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->get())}) {
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == randrEventBase_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == randrEventBase_ + XCB_RANDR_NOTIFY) {
            changed = true;
        }
    }
    if (changed && handler_) {
        handler_();
    }
}

} // namespace lumarient::x11
