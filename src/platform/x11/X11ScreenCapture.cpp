#include "platform/x11/X11ScreenCapture.h"

#include "platform/x11/XcbConnection.h"

#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <sys/ipc.h>
#include <sys/shm.h>

namespace lumarient::x11 {

namespace {

bool requestSucceeds(xcb_connection_t *connection, xcb_void_cookie_t cookie)
{
    xcb_generic_error_t *error = xcb_request_check(connection, cookie);
    const bool succeeded = error == nullptr;
    std::free(error);
    return succeeded;
}

// A System V shared-memory segment attached to this process and to the server.
class SharedSegment {
public:
    SharedSegment(xcb_connection_t *connection, std::size_t size) : connection_(connection)
    {
        id_ = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id_ < 0) {
            return;
        }
        void *address = shmat(id_, nullptr, 0);
        if (address == reinterpret_cast<void *>(-1)) {
            shmctl(id_, IPC_RMID, nullptr);
            id_ = -1;
            return;
        }
        address_ = static_cast<std::uint8_t *>(address);
        segment_ = xcb_generate_id(connection_);
        attached_ = requestSucceeds(connection_, xcb_shm_attach_checked(connection_, segment_, std::uint32_t(id_), 0));
        // Marked for removal now: the kernel frees it once both sides detach,
        // even if this process dies.
        shmctl(id_, IPC_RMID, nullptr);
    }

    ~SharedSegment()
    {
        if (attached_) {
            xcb_shm_detach(connection_, segment_);
            xcb_flush(connection_);
        }
        if (address_ != nullptr) {
            shmdt(address_);
        }
    }

    SharedSegment(const SharedSegment &) = delete;
    SharedSegment &operator=(const SharedSegment &) = delete;

    bool isValid() const { return attached_; }
    xcb_shm_seg_t segment() const { return segment_; }
    const std::uint8_t *data() const { return address_; }

private:
    xcb_connection_t *connection_;
    int id_ = -1;
    std::uint8_t *address_ = nullptr;
    xcb_shm_seg_t segment_ = 0;
    bool attached_ = false;
};

class X11ScreenCapture final : public ScreenCapture {
public:
    X11ScreenCapture(const char *displayName, xcb_atom_t monitor) : connection_(displayName), monitor_(monitor) {}

    ~X11ScreenCapture() override
    {
        segment_.reset();
        if (damage_ != XCB_NONE) {
            xcb_damage_destroy(connection_.get(), damage_);
        }
        if (region_ != XCB_NONE) {
            xcb_xfixes_destroy_region(connection_.get(), region_);
        }
        if (connection_.isValid()) {
            xcb_flush(connection_.get());
        }
    }

    bool open()
    {
        xcb_connection_t *c = connection_.get();
        if (!connection_.isValid() || !connection_.hasRandrMonitors()) {
            return false;
        }
        const auto *shm = xcb_get_extension_data(c, &xcb_shm_id);
        const auto *damage = xcb_get_extension_data(c, &xcb_damage_id);
        const auto *xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
        const auto *randr = xcb_get_extension_data(c, &xcb_randr_id);
        if (shm == nullptr || !shm->present || damage == nullptr || !damage->present || xfixes == nullptr ||
            !xfixes->present) {
            return false;
        }
        const std::optional<MonitorInfo> monitor = findMonitor(connection_, monitor_);
        if (!monitor || monitor->bounds.isEmpty()) {
            return false;
        }
        bounds_ = monitor->bounds;
        // Both extensions must be told which version the client speaks before use.
        free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
        free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
        damageEvent_ = damage->first_event + XCB_DAMAGE_NOTIFY;
        randrEvent_ = randr->first_event + XCB_RANDR_SCREEN_CHANGE_NOTIFY;
        region_ = xcb_generate_id(c);
        xcb_xfixes_create_region(c, region_, 0, nullptr);
        damage_ = xcb_generate_id(c);
        if (!requestSucceeds(
                c, xcb_damage_create_checked(c, damage_, connection_.root(), XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY))) {
            damage_ = XCB_NONE;
            return false;
        }
        xcb_randr_select_input(c, connection_.root(), XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE);
        xcb_flush(c);
        return true;
    }

    int pollDescriptor() const override { return connection_.fileDescriptor(); }
    DisplayRect bounds() const override { return bounds_; }

    bool contentChanged() override
    {
        xcb_connection_t *c = connection_.get();
        bool damaged = false;
        bool moved = false;
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
            const std::uint8_t type = event->response_type & 0x7F;
            if (type == damageEvent_) {
                damaged = true;
            } else if (type == randrEvent_) {
                moved = true;
            }
        }
        if (moved) {
            const std::optional<MonitorInfo> monitor = findMonitor(connection_, monitor_);
            bounds_ = monitor ? monitor->bounds : DisplayRect{};
            changed_ = true;
        }
        if (damaged) {
            // Take the damage and look at where it is: changes on other displays
            // do not make a frame.
            xcb_damage_subtract(c, damage_, XCB_NONE, region_);
            XcbReply<xcb_xfixes_fetch_region_reply_t> region(
                xcb_xfixes_fetch_region_reply(c, xcb_xfixes_fetch_region(c, region_), nullptr));
            if (region != nullptr) {
                const DisplayRect extents{region->extents.x, region->extents.y, region->extents.width,
                                          region->extents.height};
                changed_ = changed_ || extents.intersects(bounds_);
            }
        }
        const bool answer = changed_;
        changed_ = false;
        return answer;
    }

    const CapturedFrame *grab() override
    {
        xcb_connection_t *c = connection_.get();
        if (bounds_.isEmpty()) {
            return nullptr;
        }
        const std::size_t size = std::size_t(bounds_.width) * bounds_.height * 4;
        if (!segment_ || segmentSize_ < size) {
            segment_.reset();
            segment_ = std::make_unique<SharedSegment>(c, size);
            segmentSize_ = segment_->isValid() ? size : 0;
            if (!segment_->isValid()) {
                segment_.reset();
                return nullptr;
            }
        }
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, connection_.root(), std::int16_t(bounds_.x), std::int16_t(bounds_.y),
                              std::uint16_t(bounds_.width), std::uint16_t(bounds_.height), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->segment(), 0),
            nullptr));
        if (reply == nullptr || reply->depth < 24) {
            return nullptr;
        }
        frame_ = CapturedFrame{segment_->data(), bounds_.width, bounds_.height, bounds_.width * 4};
        return &frame_;
    }

private:
    XcbConnection connection_;
    xcb_atom_t monitor_;
    DisplayRect bounds_;
    std::unique_ptr<SharedSegment> segment_;
    std::size_t segmentSize_ = 0;
    xcb_damage_damage_t damage_ = XCB_NONE;
    xcb_xfixes_region_t region_ = XCB_NONE;
    std::uint8_t damageEvent_ = 0;
    std::uint8_t randrEvent_ = 0;
    bool changed_ = true;
    CapturedFrame frame_;
};

} // namespace

X11ScreenCaptureFactory::X11ScreenCaptureFactory(const char *displayName)
    : displayName_(displayName != nullptr ? QByteArray(displayName) : QByteArray())
{
}

std::unique_ptr<ScreenCapture> X11ScreenCaptureFactory::open(std::uint32_t displayID)
{
    auto capture =
        std::make_unique<X11ScreenCapture>(displayName_.isEmpty() ? nullptr : displayName_.constData(), displayID);
    if (!capture->open()) {
        return nullptr;
    }
    return capture;
}

} // namespace lumarient::x11
