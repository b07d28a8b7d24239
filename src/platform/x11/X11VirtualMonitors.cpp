#include "platform/x11/X11VirtualMonitors.h"

#include "platform/UserDefaults.h"
#include "platform/x11/X11VirtualOutputs.h"
#include "platform/x11/XcbConnection.h"

#include <xcb/randr.h>

#include <algorithm>
#include <mutex>

namespace lumarient::x11 {

// What the factory and its monitors share: the connection, the settings and the
// framebuffer size from before the first monitor grew it. Monitors are made on
// a worker thread while others are moved or removed on the main thread, and
// each of those is a read-modify-write of the server's layout: one at a time.
struct MonitorBook {
    std::mutex mutex;
    XcbConnection connection;
    UserDefaults *defaults = nullptr;
    int liveMonitors = 0;
    ScreenSize baseline;

    MonitorBook(UserDefaults *settings, const char *displayName) : connection(displayName), defaults(settings) {}

    void remember(const QString &name)
    {
        if (defaults == nullptr) {
            return;
        }
        QStringList names = defaults->stringArray(X11VirtualMonitorFactory::createdMonitorsKey);
        if (!names.contains(name)) {
            names.append(name);
            defaults->setValue(X11VirtualMonitorFactory::createdMonitorsKey, names);
        }
    }

    void forget(const QString &name)
    {
        if (defaults == nullptr) {
            return;
        }
        QStringList names = defaults->stringArray(X11VirtualMonitorFactory::createdMonitorsKey);
        names.removeAll(name);
        if (names.isEmpty()) {
            defaults->remove(X11VirtualMonitorFactory::createdMonitorsKey);
        } else {
            defaults->setValue(X11VirtualMonitorFactory::createdMonitorsKey, names);
        }
    }

    // Where a new display goes: right of the right-most other non-empty display,
    // top edges level; the first of equal right edges wins.
    std::pair<int, int> placement(xcb_atom_t self)
    {
        std::optional<DisplayRect> rightMost;
        for (const MonitorInfo &monitor : queryMonitors(connection)) {
            if (monitor.name == self || monitor.bounds.isEmpty()) {
                continue;
            }
            if (!rightMost || monitor.bounds.right() > rightMost->right()) {
                rightMost = monitor.bounds;
            }
        }
        if (!rightMost) {
            return {0, 0};
        }
        return {rightMost->right(), rightMost->y};
    }

    bool growFramebuffer(const DisplayRect &bounds)
    {
        const ScreenSize size = framebufferSize(connection);
        return setFramebufferSize(connection, std::max(size.width, bounds.right()),
                                  std::max(size.height, bounds.bottom()));
    }

    bool setMonitor(xcb_atom_t name, DisplayRect bounds, std::uint32_t widthMM, std::uint32_t heightMM,
                    xcb_randr_output_t output)
    {
        if (!growFramebuffer(bounds)) {
            return false;
        }
        xcb_randr_monitor_info_t info{};
        info.name = name;
        info.x = std::int16_t(bounds.x);
        info.y = std::int16_t(bounds.y);
        info.width = std::uint16_t(bounds.width);
        info.height = std::uint16_t(bounds.height);
        info.width_in_millimeters = widthMM;
        info.height_in_millimeters = heightMM;
        return setMonitorRequest(connection, info, output);
    }

    void deleteMonitor(xcb_atom_t name)
    {
        xcb_generic_error_t *error = xcb_request_check(
            connection.get(), xcb_randr_delete_monitor_checked(connection.get(), connection.root(), name));
        std::free(error);
    }

    // Shrinks the framebuffer to what the remaining displays need, never below
    // the size it had before this application grew it.
    void shrinkFramebuffer()
    {
        int width = baseline.width;
        int height = baseline.height;
        for (const MonitorInfo &monitor : queryMonitors(connection, false)) {
            width = std::max(width, monitor.bounds.right());
            height = std::max(height, monitor.bounds.bottom());
        }
        if (width > 1 && height > 1) {
            setFramebufferSize(connection, width, height);
        }
    }
};

namespace {

std::uint32_t roundedMillimeters(double value)
{
    return std::uint32_t(std::max(1.0, value + 0.5));
}

class X11VirtualMonitor final : public VirtualMonitor {
public:
    X11VirtualMonitor(std::shared_ptr<MonitorBook> book, xcb_atom_t name, QString nameText, DisplayRect bounds,
                      std::uint32_t widthMM, std::uint32_t heightMM, std::optional<OutputBinding> output)
        : book_(std::move(book)), name_(name), nameText_(std::move(nameText)), bounds_(bounds), widthMM_(widthMM),
          heightMM_(heightMM), output_(output)
    {
        ++book_->liveMonitors;
    }

    ~X11VirtualMonitor() override
    {
        std::lock_guard lock(book_->mutex);
        book_->deleteMonitor(name_);
        if (output_) {
            releaseVirtualOutput(book_->connection, *output_);
        }
        --book_->liveMonitors;
        book_->shrinkFramebuffer();
        book_->forget(nameText_);
    }

    std::uint32_t displayID() const override { return name_; }

    void placeAdjacentToOtherDisplays() override
    {
        std::lock_guard lock(book_->mutex);
        const auto [x, y] = book_->placement(name_);
        move(x, y);
    }

    bool moveTo(int x, int y) override
    {
        std::lock_guard lock(book_->mutex);
        return move(x, y);
    }

private:
    // Under the book's lock.
    bool move(int x, int y)
    {
        DisplayRect moved{x, y, bounds_.width, bounds_.height};
        if (moved == bounds_) {
            return true;
        }
        // The screen's framebuffer starts at the origin: nothing lies left of or above it.
        if (x < 0 || y < 0 || moved.right() > 32767 || moved.bottom() > 32767) {
            return false;
        }
        if (!book_->growFramebuffer(moved) ||
            (output_ && !moveVirtualOutput(book_->connection, *output_, moved.x, moved.y))) {
            return false;
        }
        // The server refuses to redefine a monitor in place: replace it.
        book_->deleteMonitor(name_);
        const bool placed = book_->setMonitor(name_, moved, widthMM_, heightMM_, outputID());
        if (placed) {
            bounds_ = moved;
        } else {
            book_->setMonitor(name_, bounds_, widthMM_, heightMM_, outputID());
        }
        book_->shrinkFramebuffer();
        return placed;
    }

    xcb_randr_output_t outputID() const { return output_ ? output_->output : XCB_NONE; }

    std::shared_ptr<MonitorBook> book_;
    xcb_atom_t name_;
    QString nameText_;
    DisplayRect bounds_;
    std::uint32_t widthMM_;
    std::uint32_t heightMM_;
    std::optional<OutputBinding> output_;
};

} // namespace

X11VirtualMonitorFactory::X11VirtualMonitorFactory(UserDefaults *defaults, const char *displayName)
    : book_(std::make_shared<MonitorBook>(defaults, displayName))
{
}

X11VirtualMonitorFactory::~X11VirtualMonitorFactory() = default;

bool X11VirtualMonitorFactory::isAvailable()
{
    std::lock_guard lock(book_->mutex);
    return book_->connection.hasRandrMonitors();
}

std::unique_ptr<VirtualMonitor> X11VirtualMonitorFactory::create(const VirtualMonitorRequest &request)
{
    std::lock_guard lock(book_->mutex);
    if (!book_->connection.hasRandrMonitors() || request.width <= 0 || request.height <= 0 || request.width > 32767 ||
        request.height > 32767) {
        return nullptr;
    }
    // Monitor names are atoms: the serial number keeps each display's name apart.
    const QString nameText = request.name + QLatin1Char(' ') + QString::number(request.serialNumber);
    const xcb_atom_t name = internAtom(book_->connection, nameText);
    if (name == XCB_NONE) {
        return nullptr;
    }
    if (book_->liveMonitors == 0) {
        book_->baseline = framebufferSize(book_->connection);
    }
    const auto [x, y] = book_->placement(name);
    const DisplayRect bounds{x, y, request.width, request.height};
    const std::uint32_t widthMM = roundedMillimeters(request.widthMillimeters);
    const std::uint32_t heightMM = roundedMillimeters(request.heightMillimeters);
    // Remembered before it exists, so that a crash in between leaves no ghost.
    book_->remember(nameText);
    if (!book_->growFramebuffer(bounds)) {
        book_->forget(nameText);
        return nullptr;
    }
    // A driver output when there is a spare one, so the pointer can go there too.
    const std::optional<OutputBinding> output =
        bindVirtualOutput(book_->connection, nameText, bounds, request.refreshRate);
    if (!book_->setMonitor(name, bounds, widthMM, heightMM, output ? output->output : XCB_NONE) ||
        !findMonitor(book_->connection, name)) {
        book_->deleteMonitor(name);
        if (output) {
            releaseVirtualOutput(book_->connection, *output);
        }
        book_->shrinkFramebuffer();
        book_->forget(nameText);
        return nullptr;
    }
    return std::make_unique<X11VirtualMonitor>(book_, name, nameText, bounds, widthMM, heightMM, output);
}

int X11VirtualMonitorFactory::removeLeftovers()
{
    std::lock_guard lock(book_->mutex);
    if (book_->defaults == nullptr || !book_->connection.isValid()) {
        return 0;
    }
    int removed = 0;
    for (const QString &nameText : book_->defaults->stringArray(createdMonitorsKey)) {
        const xcb_atom_t name = internAtom(book_->connection, nameText, true);
        if (name != XCB_NONE && findMonitor(book_->connection, name)) {
            book_->deleteMonitor(name);
            ++removed;
        }
        releaseVirtualOutputsNamed(book_->connection, nameText);
        book_->forget(nameText);
    }
    if (removed > 0 && book_->liveMonitors == 0) {
        book_->shrinkFramebuffer();
    }
    return removed;
}

} // namespace lumarient::x11
