#include "platform/x11/X11WindowList.h"

#include "platform/x11/XcbConnection.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <vector>

namespace lumarient::x11 {

struct X11WindowList::Atoms {
    xcb_atom_t clientListStacking = XCB_NONE;
    xcb_atom_t clientList = XCB_NONE;
    xcb_atom_t activeWindow = XCB_NONE;
    xcb_atom_t pid = XCB_NONE;
    xcb_atom_t name = XCB_NONE;
    xcb_atom_t utf8String = XCB_NONE;
    xcb_atom_t frameExtents = XCB_NONE;
    xcb_atom_t changeState = XCB_NONE;
};

namespace {

// A property's 32-bit values; none when the window lacks it.
std::optional<std::vector<std::uint32_t>> cardinals(xcb_get_property_reply_t *reply)
{
    if (reply == nullptr || reply->type == XCB_NONE || reply->format != 32)
        return std::nullopt;
    const auto *values = static_cast<const std::uint32_t *>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    return std::vector<std::uint32_t>(values, values + std::max(count, 0));
}

std::optional<QString> text(xcb_get_property_reply_t *reply, bool utf8)
{
    if (reply == nullptr || reply->type == XCB_NONE || reply->format != 8)
        return std::nullopt;
    const auto *bytes = static_cast<const char *>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    return utf8 ? QString::fromUtf8(bytes, length) : QString::fromLatin1(bytes, length);
}

xcb_get_property_cookie_t property(xcb_connection_t *c, xcb_window_t window, xcb_atom_t atom, xcb_atom_t type,
                                   std::uint32_t longs = 1024)
{
    return xcb_get_property(c, 0, window, atom, type, 0, longs);
}

} // namespace

X11WindowList::X11WindowList(const char *displayName)
    : atoms_(std::make_unique<Atoms>()),
      connection_(displayName, [this](XcbConnection &connection) { internAtoms(connection); })
{
}

void X11WindowList::internAtoms(XcbConnection &connection)
{
    if (!connection.isValid())
        return;
    atoms_->clientListStacking = internAtom(connection, QStringLiteral("_NET_CLIENT_LIST_STACKING"));
    atoms_->clientList = internAtom(connection, QStringLiteral("_NET_CLIENT_LIST"));
    atoms_->activeWindow = internAtom(connection, QStringLiteral("_NET_ACTIVE_WINDOW"));
    atoms_->pid = internAtom(connection, QStringLiteral("_NET_WM_PID"));
    atoms_->name = internAtom(connection, QStringLiteral("_NET_WM_NAME"));
    atoms_->utf8String = internAtom(connection, QStringLiteral("UTF8_STRING"));
    atoms_->frameExtents = internAtom(connection, QStringLiteral("_NET_FRAME_EXTENTS"));
    atoms_->changeState = internAtom(connection, QStringLiteral("WM_CHANGE_STATE"));
}

X11WindowList::~X11WindowList() = default;

std::optional<QList<WindowInfo>> X11WindowList::onScreenWindows()
{
    if (!connection_->isValid() || xcb_connection_has_error(connection_->get()))
        return std::nullopt;
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_get_property_reply_t> stacking(xcb_get_property_reply(
        c, property(c, connection_->root(), atoms_->clientListStacking, XCB_ATOM_WINDOW, 65536), nullptr));
    scheduleDrain();
    std::optional<std::vector<std::uint32_t>> bottomToTop = cardinals(stacking.get());
    if (!bottomToTop)
        return std::nullopt;
    std::vector<xcb_window_t> windows(bottomToTop->rbegin(), bottomToTop->rend());

    // Every question for every window first, then the answers: one wait in all.
    struct Questions {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t pid, netName, name, extents;
    };
    std::vector<Questions> questions;
    questions.reserve(windows.size());
    for (xcb_window_t window : windows) {
        questions.push_back({xcb_get_window_attributes(c, window), xcb_get_geometry(c, window),
                             xcb_translate_coordinates(c, window, connection_->root(), 0, 0),
                             property(c, window, atoms_->pid, XCB_ATOM_CARDINAL),
                             property(c, window, atoms_->name, atoms_->utf8String),
                             property(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY),
                             property(c, window, atoms_->frameExtents, XCB_ATOM_CARDINAL)});
    }
    QList<WindowInfo> list;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Questions &q = questions[i];
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, q.attributes, nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, q.geometry, nullptr));
        XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(c, q.origin, nullptr));
        XcbReply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, q.pid, nullptr));
        XcbReply<xcb_get_property_reply_t> netName(xcb_get_property_reply(c, q.netName, nullptr));
        XcbReply<xcb_get_property_reply_t> name(xcb_get_property_reply(c, q.name, nullptr));
        XcbReply<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, q.extents, nullptr));
        // Gone meanwhile, or not shown (minimised windows are unmapped).
        if (attributes == nullptr || geometry == nullptr || origin == nullptr ||
            attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        WindowInfo info;
        info.id = windows[i];
        // Any client may write this; only a plausible process id is believed.
        if (const auto values = cardinals(pid.get()); values && !values->empty() && values->front() <= 0x7FFFFFFF)
            info.pid = std::int32_t(values->front());
        info.name = text(netName.get(), true);
        if (!info.name)
            info.name = text(name.get(), name != nullptr && name->type == atoms_->utf8String);
        int left = 0, right = 0, top = 0, bottom = 0;
        if (const auto frame = cardinals(extents.get()); frame && frame->size() >= 4) {
            // Left, right, top, bottom; absurd values are not believed.
            const auto sane = [](std::uint32_t value) { return value <= 4096 ? int(value) : 0; };
            left = sane((*frame)[0]);
            right = sane((*frame)[1]);
            top = sane((*frame)[2]);
            bottom = sane((*frame)[3]);
        }
        info.bounds = DisplayRect{origin->dst_x - left, origin->dst_y - top, geometry->width + left + right,
                                  geometry->height + top + bottom};
        list.append(info);
    }
    return list;
}

std::optional<std::uint32_t> X11WindowList::activeWindow()
{
    if (!connection_->isValid())
        return std::nullopt;
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, property(c, connection_->root(), atoms_->activeWindow, XCB_ATOM_WINDOW), nullptr));
    scheduleDrain();
    const auto values = cardinals(reply.get());
    if (!values || values->empty() || values->front() == XCB_NONE)
        return std::nullopt;
    return values->front();
}

bool X11WindowList::activate(std::uint32_t id)
{
    // Asked on the user's behalf (like a pager), so focus-stealing rules let it through.
    return sendToRoot(id, atoms_->activeWindow, {2, XCB_CURRENT_TIME, XCB_NONE});
}

bool X11WindowList::minimize(std::uint32_t id)
{
    // ICCCM: a client asks for its own iconic state this way; the window manager obeys.
    constexpr std::uint32_t iconicState = 3;
    return sendToRoot(id, atoms_->changeState, {iconicState, 0, 0});
}

bool X11WindowList::sendToRoot(std::uint32_t id, std::uint32_t type, std::array<std::uint32_t, 3> data)
{
    if (!connection_->isValid() || id == XCB_NONE)
        return false;
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_get_window_attributes_reply_t> exists(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
    scheduleDrain();
    if (exists == nullptr)
        return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = type;
    for (std::size_t i = 0; i < data.size(); ++i)
        message.data.data32[i] = data[i];
    xcb_send_event(c, 0, connection_->root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(c);
    return true;
}

void X11WindowList::onChanged(std::function<void()> changed)
{
    changed_ = std::move(changed);
    if (notifier_ || !connection_->isValid())
        return;
    xcb_connection_t *c = connection_->get();
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, connection_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    notifier_ = std::make_unique<QSocketNotifier>(connection_->fileDescriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { drain(); });
}

void X11WindowList::scheduleDrain()
{
    // Events read while waiting for a reply wait in xcb's queue, unseen by the notifier.
    if (!notifier_ || drainScheduled_)
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

void X11WindowList::drain()
{
    xcb_connection_t *c = connection_->get();
    bool changed = false;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event.get());
        changed = changed || notify->atom == atoms_->clientListStacking || notify->atom == atoms_->clientList ||
                  notify->atom == atoms_->activeWindow;
    }
    if (xcb_connection_has_error(c))
        notifier_->setEnabled(false);
    if (changed && changed_)
        changed_();
}

} // namespace lumarient::x11
