#include "platform/x11/X11InputTap.h"

#include "platform/x11/XcbConnection.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <xcb/randr.h>
#include <xcb/xinput.h>
// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace lumarient::x11 {
namespace {

// Two displays touch along a side when their sides are this close.
constexpr int touchTolerance = 2;

double fromFixed(xcb_input_fp1616_t value)
{
    return value / 65536.0;
}

double fromFixed(xcb_input_fp3232_t value)
{
    return value.integral + value.frac / 4294967296.0;
}

bool checked(xcb_connection_t *c, xcb_void_cookie_t cookie)
{
    xcb_generic_error_t *error = xcb_request_check(c, cookie);
    std::free(error);
    return error == nullptr;
}

// The valuators 0 (x) and 1 (y) of a raw event, from the values before
// acceleration: the phone applies its own pointer speed.
struct RawDelta {
    double dx = 0;
    double dy = 0;
};

RawDelta rawDelta(const xcb_input_raw_button_press_event_t *event)
{
    RawDelta delta;
    const std::uint32_t *mask = xcb_input_raw_button_press_valuator_mask(event);
    const xcb_input_fp3232_t *values = xcb_input_raw_button_press_axisvalues_raw(event);
    const int available = xcb_input_raw_button_press_axisvalues_raw_length(event);
    int index = 0;
    for (int bit = 0; bit < 2 && event->valuators_len > 0; ++bit) {
        if ((mask[0] & (1u << bit)) == 0)
            continue;
        if (index >= available)
            break;
        (bit == 0 ? delta.dx : delta.dy) = fromFixed(values[index++]);
    }
    return delta;
}

} // namespace

X11InputTap::X11InputTap(const char *displayName) : connection_(displayName)
{
}

X11InputTap::~X11InputTap()
{
    stop();
    if (connection_.isMade() && connection_->isValid()) {
        xcb_connection_t *c = connection_->get();
        if (window_ != XCB_NONE)
            xcb_destroy_window(c, window_);
        if (blankCursor_ != XCB_NONE)
            xcb_free_cursor(c, blankCursor_);
        xcb_flush(c);
    }
}

bool X11InputTap::start(Handler handler)
{
    if (!connection_->isValid() || xcb_connection_has_error(connection_->get()))
        return false;
    if (!extensionsReady_ && !setUpExtensions())
        return false;
    handler_ = std::move(handler);
    if (running_)
        return true;
    running_ = true;
    if (!notifier_) {
        notifier_ = std::make_unique<QSocketNotifier>(connection_->fileDescriptor(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { drain(); });
    }
    notifier_->setEnabled(true);
    findSilentPointers();
    rebuildBarriers();
    selectEvents();
    xcb_flush(connection_->get());
    scheduleDrain();
    return true;
}

bool X11InputTap::setUpExtensions()
{
    xcb_connection_t *c = connection_->get();
    const auto *input = xcb_get_extension_data(c, &xcb_input_id);
    if (input == nullptr || !input->present)
        return false;
    XcbReply<xcb_input_xi_query_version_reply_t> inputVersion(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 3), nullptr));
    if (inputVersion == nullptr || inputVersion->major_version < 2)
        return false;
    inputOpcode_ = input->major_opcode;

    bool hasFixes = false;
    const auto *fixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (fixes != nullptr && fixes->present) {
        XcbReply<xcb_xfixes_query_version_reply_t> fixesVersion(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
        hasFixes = fixesVersion != nullptr && fixesVersion->major_version >= 5;
    }
    hasBarriers_ = hasFixes && inputVersion->minor_version >= 3;

    const auto *randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr != nullptr && randr->present) {
        randrEventBase_ = randr->first_event;
        xcb_randr_select_input(c, connection_->root(), XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE);
    }

    // One key press per press and repeat, one release per hold.
    const auto *xkb = xcb_get_extension_data(c, &xcb_xkb_id);
    if (xkb != nullptr && xkb->present) {
        XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
            c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
        if (use != nullptr && use->supported) {
            XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
                c,
                xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                         XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
                nullptr));
            hasAutoRepeatDetection_ =
                flags != nullptr && (flags->value & XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT) != 0;
        }
    }
    createWindow();
    extensionsReady_ = true;
    return true;
}

void X11InputTap::createWindow()
{
    xcb_connection_t *c = connection_->get();
    window_ = xcb_generate_id(c);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, 0, window_, connection_->root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);

    // A cursor whose mask is empty shows nothing.
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, pixmap, connection_->root(), 1, 1);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t foreground = 0;
    xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t all{0, 0, 1, 1};
    xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
    blankCursor_ = xcb_generate_id(c);
    xcb_create_cursor(c, blankCursor_, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
}

void X11InputTap::selectEvents(bool grabbing)
{
    xcb_connection_t *c = connection_->get();
    struct Selection {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    };
    std::vector<Selection> selections;
    std::uint32_t masterMask = 0;
    if (running_) {
        if (hasBarriers_)
            masterMask |= XCB_INPUT_XI_EVENT_MASK_BARRIER_HIT;
        // While grabbed every movement counts, from whichever device.
        if (grabbing)
            masterMask |= XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    }
    selections.push_back({{XCB_INPUT_DEVICE_ALL_MASTER, 1}, masterMask});
    selections.push_back({{XCB_INPUT_DEVICE_ALL, 1}, running_ ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_HIERARCHY) : 0u});
    // While watching, only the pointers that pass barriers silently are
    // followed, each on its own: a mouse moving about costs nothing.
    const bool watchSilent = running_ && !grabbing && !standIns_.empty();
    std::set<std::uint16_t> watched;
    if (watchSilent)
        watched = silentPointers_;
    for (const std::uint16_t device : watchedSilent_) {
        if (watched.count(device) == 0)
            selections.push_back({{device, 1}, 0});
    }
    for (const std::uint16_t device : watched)
        selections.push_back({{device, 1}, std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION)});
    watchedSilent_ = std::move(watched);
    xcb_input_xi_select_events(c, connection_->root(), std::uint16_t(selections.size()), &selections.front().header);
}

void X11InputTap::findSilentPointers()
{
    absoluteDevices_.clear();
    silentPointers_.clear();
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_input_xi_query_device_reply_t> reply(
        xcb_input_xi_query_device_reply(c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL), nullptr));
    if (reply == nullptr)
        return;
    for (auto device = xcb_input_xi_query_device_infos_iterator(reply.get()); device.rem > 0;
         xcb_input_xi_device_info_next(&device)) {
        if (device.data->type != XCB_INPUT_DEVICE_TYPE_SLAVE_POINTER)
            continue;
        for (auto cls = xcb_input_xi_device_info_classes_iterator(device.data); cls.rem > 0;
             xcb_input_device_class_next(&cls)) {
            if (cls.data->type != XCB_INPUT_DEVICE_CLASS_TYPE_VALUATOR)
                continue;
            const auto *valuator = reinterpret_cast<const xcb_input_valuator_class_t *>(cls.data);
            if (valuator->number == 0 && valuator->mode == XCB_INPUT_VALUATOR_MODE_ABSOLUTE)
                absoluteDevices_.insert(device.data->deviceid);
        }
        // Synthetic pointers (remote control, automation) may be placed
        // anywhere at once, past every barrier.
        const std::string_view name(xcb_input_xi_device_info_name(device.data),
                                    std::size_t(xcb_input_xi_device_info_name_length(device.data)));
        if (absoluteDevices_.count(device.data->deviceid) != 0 || name.ends_with(" XTEST pointer"))
            silentPointers_.insert(device.data->deviceid);
    }
}

void X11InputTap::setStandIns(std::vector<DisplayRect> rects)
{
    standIns_ = std::move(rects);
    if (!running_)
        return;
    rebuildBarriers();
    selectEvents();
    xcb_flush(connection_->get());
}

void X11InputTap::rebuildBarriers()
{
    clearBarriers();
    if (!hasBarriers_ || standIns_.empty())
        return;
    xcb_connection_t *c = connection_->get();
    // Real displays are the monitors that are not stand-ins.
    std::vector<DisplayRect> real;
    for (const MonitorInfo &monitor : queryMonitors(*connection_)) {
        const bool standIn = std::any_of(standIns_.begin(), standIns_.end(),
                                         [&](const DisplayRect &rect) { return rect.intersects(monitor.bounds); });
        if (!standIn)
            real.push_back(monitor.bounds);
    }
    auto add = [&](const DisplayRect &standIn, Barrier::Toward toward, int line, int from, int to) {
        if (from >= to)
            return;
        Barrier barrier{xcb_generate_id(c), standIn, toward, line, from, to};
        const bool vertical = toward == Barrier::Toward::right || toward == Barrier::Toward::left;
        // Only the push toward the stand-in display is stopped.
        std::uint32_t allowed = XCB_XFIXES_BARRIER_DIRECTIONS_POSITIVE_X | XCB_XFIXES_BARRIER_DIRECTIONS_NEGATIVE_X |
                                XCB_XFIXES_BARRIER_DIRECTIONS_POSITIVE_Y | XCB_XFIXES_BARRIER_DIRECTIONS_NEGATIVE_Y;
        switch (toward) {
        case Barrier::Toward::right:
            allowed &= ~std::uint32_t(XCB_XFIXES_BARRIER_DIRECTIONS_POSITIVE_X);
            break;
        case Barrier::Toward::left:
            allowed &= ~std::uint32_t(XCB_XFIXES_BARRIER_DIRECTIONS_NEGATIVE_X);
            break;
        case Barrier::Toward::down:
            allowed &= ~std::uint32_t(XCB_XFIXES_BARRIER_DIRECTIONS_POSITIVE_Y);
            break;
        case Barrier::Toward::up:
            allowed &= ~std::uint32_t(XCB_XFIXES_BARRIER_DIRECTIONS_NEGATIVE_Y);
            break;
        }
        const auto x1 = std::uint16_t(vertical ? line : from);
        const auto y1 = std::uint16_t(vertical ? from : line);
        const auto x2 = std::uint16_t(vertical ? line : to);
        const auto y2 = std::uint16_t(vertical ? to : line);
        if (checked(c, xcb_xfixes_create_pointer_barrier_checked(c, barrier.id, connection_->root(), x1, y1, x2, y2,
                                                                 allowed, 0, nullptr)))
            barriers_.push_back(barrier);
    };
    for (const DisplayRect &standIn : standIns_) {
        for (const DisplayRect &display : real) {
            if (display.y < standIn.bottom() && display.bottom() > standIn.y) {
                const int from = std::max(display.y, standIn.y);
                const int to = std::min(display.bottom(), standIn.bottom());
                if (std::abs(display.right() - standIn.x) <= touchTolerance)
                    add(standIn, Barrier::Toward::right, display.right(), from, to);
                if (std::abs(standIn.right() - display.x) <= touchTolerance)
                    add(standIn, Barrier::Toward::left, display.x, from, to);
            }
            if (display.x < standIn.right() && display.right() > standIn.x) {
                const int from = std::max(display.x, standIn.x);
                const int to = std::min(display.right(), standIn.right());
                if (std::abs(display.bottom() - standIn.y) <= touchTolerance)
                    add(standIn, Barrier::Toward::down, display.bottom(), from, to);
                if (std::abs(standIn.bottom() - display.y) <= touchTolerance)
                    add(standIn, Barrier::Toward::up, display.y, from, to);
            }
        }
    }
}

void X11InputTap::clearBarriers()
{
    for (const Barrier &barrier : barriers_)
        xcb_xfixes_delete_pointer_barrier(connection_->get(), barrier.id);
    barriers_.clear();
}

void X11InputTap::stop()
{
    if (!running_)
        return;
    release();
    showCursor();
    running_ = false;
    clearBarriers();
    selectEvents();
    xcb_flush(connection_->get());
    if (notifier_)
        notifier_->setEnabled(false);
    handler_ = nullptr;
}

bool X11InputTap::grab()
{
    if (grabbed_)
        return true;
    if (!running_ || xcb_connection_has_error(connection_->get()))
        return false;
    xcb_connection_t *c = connection_->get();
    // Raw motion is asked for first, so none is missed once the grab holds.
    selectEvents(true);
    xcb_map_window(c, window_);
    // Both asked at once: one round trip, and a refusal (AlreadyGrabbed while
    // a menu, a drag or the screen locker holds them) comes back at once.
    const xcb_grab_pointer_cookie_t pointerCookie =
        xcb_grab_pointer(c, 0, window_, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE,
                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, blankCursor_, XCB_CURRENT_TIME);
    const xcb_grab_keyboard_cookie_t keyboardCookie =
        xcb_grab_keyboard(c, 0, window_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    XcbReply<xcb_grab_pointer_reply_t> pointer(xcb_grab_pointer_reply(c, pointerCookie, nullptr));
    XcbReply<xcb_grab_keyboard_reply_t> keyboard(xcb_grab_keyboard_reply(c, keyboardCookie, nullptr));
    scheduleDrain();
    if (pointer == nullptr || pointer->status != XCB_GRAB_STATUS_SUCCESS || keyboard == nullptr ||
        keyboard->status != XCB_GRAB_STATUS_SUCCESS) {
        grabbed_ = true;
        release();
        return false;
    }
    grabbed_ = true;
    virtualPosition_ = lastReported_;
    return true;
}

void X11InputTap::release()
{
    if (!grabbed_ || !connection_->isValid())
        return;
    grabbed_ = false;
    xcb_connection_t *c = connection_->get();
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_unmap_window(c, window_);
    selectEvents();
    // Waits until the server has let go, so that whoever asks next finds the
    // keyboard and pointer free.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    scheduleDrain();
}

void X11InputTap::warp(TapPoint to)
{
    if (grabbed_) {
        // The real pointer stays where it is, hidden; motion is read from
        // raw deltas, so only the position the phone's logic sees moves.
        virtualPosition_ = to;
        return;
    }
    if (!connection_->isValid())
        return;
    xcb_warp_pointer(connection_->get(), XCB_NONE, connection_->root(), 0, 0, 0, 0, std::int16_t(std::lround(to.x)),
                     std::int16_t(std::lround(to.y)));
    xcb_flush(connection_->get());
}

std::optional<TapPoint> X11InputTap::cursorPosition()
{
    if (grabbed_)
        return virtualPosition_;
    if (!connection_->isValid())
        return std::nullopt;
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_->root()), nullptr));
    scheduleDrain();
    if (reply == nullptr || !reply->same_screen)
        return std::nullopt;
    return TapPoint{double(reply->root_x), double(reply->root_y)};
}

void X11InputTap::hideCursor()
{
    if (cursorHidden_ || !connection_->isValid())
        return;
    cursorHidden_ = true;
    xcb_xfixes_hide_cursor(connection_->get(), connection_->root());
    xcb_flush(connection_->get());
}

void X11InputTap::showCursor()
{
    if (!cursorHidden_ || !connection_->isValid())
        return;
    cursorHidden_ = false;
    xcb_xfixes_show_cursor(connection_->get(), connection_->root());
    xcb_flush(connection_->get());
}

void X11InputTap::scheduleDrain()
{
    // Events read while waiting for a reply sit in xcb's queue, where the
    // socket notifier cannot see them.
    if (draining_ || drainScheduled_ || !notifier_)
        return;
    drainScheduled_ = true;
    QMetaObject::invokeMethod(
        notifier_.get(),
        [this] {
            drainScheduled_ = false;
            drain();
        },
        Qt::QueuedConnection);
}

void X11InputTap::drain()
{
    if (draining_)
        return;
    draining_ = true;
    xcb_connection_t *c = connection_->get();
    for (;;) {
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)})
            dispatch(event.get());
        if (!silentMotion_)
            break;
        silentMotion_ = false;
        if (running_ && !grabbed_)
            checkAbsoluteEntry();
    }
    xcb_flush(c);
    draining_ = false;
    if (xcb_connection_has_error(c) && notifier_)
        notifier_->setEnabled(false);
}

void X11InputTap::deliver(const Event &event)
{
    if (handler_)
        handler_(event);
}

void X11InputTap::dispatch(const xcb_generic_event_t *event)
{
    if (!running_)
        return;
    const std::uint8_t type = event->response_type & 0x7F;
    if (type == XCB_GE_GENERIC) {
        dispatchInput(reinterpret_cast<const xcb_ge_generic_event_t *>(event));
        return;
    }
    if (randrEventBase_ != 0 && type == randrEventBase_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY) {
        rebuildBarriers();
        return;
    }
    switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
        if (!grabbed_ || key->detail < 8)
            return;
        Event out;
        out.type = type == XCB_KEY_PRESS ? EventType::keyDown : EventType::keyUp;
        out.keyCode = unsigned(key->detail) - 8;
        deliver(out);
        return;
    }
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
        const auto *button = reinterpret_cast<const xcb_button_press_event_t *>(event);
        if (!grabbed_)
            return;
        const bool press = type == XCB_BUTTON_PRESS;
        Event out;
        out.position = virtualPosition_;
        switch (button->detail) {
        case 4:
        case 5:
        case 6:
        case 7:
            // Wheel steps come as a press and a release; the press counts.
            if (!press)
                return;
            out.type = EventType::wheel;
            out.wheel = button->detail == 4 ? 1 : button->detail == 5 ? -1 : 0;
            out.pan = button->detail == 6 ? 1 : button->detail == 7 ? -1 : 0;
            break;
        default:
            out.type = press ? EventType::buttonDown : EventType::buttonUp;
            out.button = button->detail == 1   ? Button::left
                         : button->detail == 2 ? Button::middle
                         : button->detail == 3 ? Button::right
                                               : Button::other;
            break;
        }
        deliver(out);
        return;
    }
    case XCB_FOCUS_OUT: {
        const auto *focus = reinterpret_cast<const xcb_focus_out_event_t *>(event);
        if (grabbed_ && focus->event == window_ && focus->mode == XCB_NOTIFY_MODE_UNGRAB)
            loseGrab();
        return;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto *unmap = reinterpret_cast<const xcb_unmap_notify_event_t *>(event);
        if (grabbed_ && unmap->window == window_)
            loseGrab();
        return;
    }
    default:
        return;
    }
}

void X11InputTap::loseGrab()
{
    // Whatever is left of the grab goes too, so nothing stays half-held.
    release();
    Event out;
    out.type = EventType::grabLost;
    deliver(out);
}

void X11InputTap::dispatchInput(const xcb_ge_generic_event_t *event)
{
    if (event->extension != inputOpcode_)
        return;
    switch (event->event_type) {
    case XCB_INPUT_BARRIER_HIT:
        onBarrierHit(event);
        return;
    case XCB_INPUT_RAW_MOTION:
        onRawMotion(event);
        return;
    case XCB_INPUT_HIERARCHY:
        findSilentPointers();
        selectEvents();
        return;
    default:
        return;
    }
}

void X11InputTap::onBarrierHit(const void *raw)
{
    if (grabbed_)
        return;
    const auto *hit = static_cast<const xcb_input_barrier_hit_event_t *>(raw);
    const auto found = std::find_if(barriers_.begin(), barriers_.end(),
                                    [&](const Barrier &barrier) { return barrier.id == hit->barrier; });
    if (found == barriers_.end())
        return;
    Event out;
    out.dx = fromFixed(hit->dx);
    out.dy = fromFixed(hit->dy);
    TapPoint pushed{fromFixed(hit->root_x) + out.dx, fromFixed(hit->root_y) + out.dy};
    // The push lands on the stand-in display, at least one pixel past the line.
    const DisplayRect &standIn = found->standIn;
    switch (found->toward) {
    case Barrier::Toward::right:
        pushed.x = std::max(pushed.x, double(found->line));
        break;
    case Barrier::Toward::left:
        pushed.x = std::min(pushed.x, double(found->line) - 1);
        break;
    case Barrier::Toward::down:
        pushed.y = std::max(pushed.y, double(found->line));
        break;
    case Barrier::Toward::up:
        pushed.y = std::min(pushed.y, double(found->line) - 1);
        break;
    }
    pushed.x = std::clamp(pushed.x, double(standIn.x), double(standIn.right() - 1));
    pushed.y = std::clamp(pushed.y, double(standIn.y), double(standIn.bottom() - 1));
    out.position = pushed;
    lastReported_ = pushed;
    deliver(out);
}

void X11InputTap::onRawMotion(const void *raw)
{
    const auto *motion = static_cast<const xcb_input_raw_button_press_event_t *>(raw);
    // Selected on a slave, the event names it as its device; through a master, the master.
    const bool fromMaster = motion->deviceid != motion->sourceid;
    if (!grabbed_) {
        // Checked once the pending events are drained: one position query
        // per wake-up, however many movements it brought.
        if (!fromMaster && silentPointers_.count(motion->sourceid) != 0)
            silentMotion_ = true;
        return;
    }
    // An absolute device's raw values are places, not movements; and a
    // slave's own event left over from watching would count a movement twice.
    if (!fromMaster || absoluteDevices_.count(motion->sourceid) != 0)
        return;
    const RawDelta delta = rawDelta(motion);
    if (delta.dx == 0 && delta.dy == 0)
        return;
    virtualPosition_.x += delta.dx;
    virtualPosition_.y += delta.dy;
    Event out;
    out.dx = delta.dx;
    out.dy = delta.dy;
    out.position = virtualPosition_;
    deliver(out);
}

void X11InputTap::checkAbsoluteEntry()
{
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_->root()), nullptr));
    if (pointer == nullptr || !pointer->same_screen)
        return;
    const int x = pointer->root_x;
    const int y = pointer->root_y;
    // Computed from the stand-ins directly, so this works without barriers.
    for (const DisplayRect &standIn : standIns_) {
        std::optional<TapPoint> entry;
        const bool besideVertically = y >= standIn.y && y < standIn.bottom();
        const bool besideHorizontally = x >= standIn.x && x < standIn.right();
        if (besideVertically && x >= standIn.x - 1 && x < standIn.x)
            entry = TapPoint{double(standIn.x), double(y)};
        else if (besideVertically && x >= standIn.right() && x <= standIn.right())
            entry = TapPoint{double(standIn.right() - 1), double(y)};
        else if (besideHorizontally && y >= standIn.y - 1 && y < standIn.y)
            entry = TapPoint{double(x), double(standIn.y)};
        else if (besideHorizontally && y >= standIn.bottom() && y <= standIn.bottom())
            entry = TapPoint{double(x), double(standIn.bottom() - 1)};
        if (entry) {
            Event out;
            out.position = *entry;
            lastReported_ = *entry;
            deliver(out);
            return;
        }
    }
}

} // namespace lumarient::x11
