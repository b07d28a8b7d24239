#pragma once

#include "input/WindowDragControl.h"
#include "platform/DisplayLayout.h"
#include "platform/InputTap.h"
#include "platform/VirtualMonitor.h"
#include "platform/WindowList.h"

#include <QStringList>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lumarient::test {

// Displays kept in memory: what tests set, plus the fake virtual monitors.
class FakeLayout final : public DisplayLayout {
public:
    std::map<std::uint32_t, DisplayRect> displays;

    std::vector<std::uint32_t> activeDisplays() override
    {
        std::vector<std::uint32_t> ids;
        for (const auto &[id, rect] : displays)
            ids.push_back(id);
        return ids;
    }
    DisplayRect displayBounds(std::uint32_t displayID) override
    {
        const auto found = displays.find(displayID);
        return found == displays.end() ? DisplayRect{} : found->second;
    }
    void setReconfigurationHandler(std::function<void()>) override {}
};

class FakeTap final : public InputTap {
public:
    bool canStart = true;
    bool canGrab = true;
    bool started = false;
    bool grabbed = false;
    bool cursorHidden = false;
    TapPoint cursor{100, 100};
    std::vector<TapPoint> warps;
    std::vector<DisplayRect> standIns;

    bool start(Handler) override { return started = canStart; }
    void stop() override { started = false; }
    void setStandIns(std::vector<DisplayRect> rects) override { standIns = std::move(rects); }
    bool grab() override { return grabbed = canGrab; }
    void release() override { grabbed = false; }
    void warp(TapPoint to) override
    {
        cursor = to;
        warps.push_back(to);
    }
    std::optional<TapPoint> cursorPosition() override { return cursor; }
    void hideCursor() override { cursorHidden = true; }
    void showCursor() override { cursorHidden = false; }
};

// Windows of a pretend desktop (no list: the desktop could not tell); counts the
// questions and records what was activated.
class FakeWindowList final : public WindowList {
public:
    std::optional<QList<WindowInfo>> windows = QList<WindowInfo>{};
    int queries = 0;
    std::optional<std::uint32_t> active;
    std::vector<std::uint32_t> activated;

    std::optional<QList<WindowInfo>> onScreenWindows() override
    {
        ++queries;
        return windows;
    }
    std::optional<std::uint32_t> activeWindow() override { return active; }
    bool activate(std::uint32_t id) override
    {
        activated.push_back(id);
        active = id;
        return true;
    }
    void onChanged(std::function<void()>) override {}
};

// The phone window dragging as the keyboard and mouse sharing drives it: one
// phone watched at a time, every call recorded.
class FakeWindowDrags final : public WindowDragControl {
public:
    QStringList calls;
    std::optional<QString> watched;

    void enableDrag(const QString &serial) override
    {
        calls.append(QStringLiteral("enable ") + serial);
        if (!watched)
            watched = serial;
    }
    void disableDrag(bool synchronously) override
    {
        calls.append(synchronously ? QStringLiteral("disable sync") : QStringLiteral("disable async"));
        watched.reset();
    }
    std::optional<QString> watcherSerial() const override { return watched; }
    void setCursorEdge(const std::optional<QString> &edge) override
    {
        calls.append(QStringLiteral("edge ") + edge.value_or(QStringLiteral("none")));
    }
};

// Virtual monitors that appear in a FakeLayout, to the right of the right-most
// display, and leave it when dropped.
class FakeMonitors final : public VirtualMonitorFactory {
public:
    explicit FakeMonitors(FakeLayout &layout) : layout_(layout) {}

    // False: a new monitor never gets a position.
    bool registersPosition = true;
    // False: as on X11, nothing can lie left of or above the screen's origin.
    bool allowsNegativePositions = true;
    std::vector<VirtualMonitorRequest> requests;

    bool isAvailable() override { return true; }
    std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &request) override
    {
        requests.push_back(request);
        return std::make_unique<Monitor>(*this, nextID_++, request);
    }

private:
    class Monitor final : public VirtualMonitor {
    public:
        Monitor(FakeMonitors &owner, std::uint32_t id, const VirtualMonitorRequest &request)
            : owner_(owner), id_(id), width_(request.width), height_(request.height)
        {
            owner_.layout_.displays[id_] =
                owner_.registersPosition ? DisplayRect{0, 0, width_, height_} : DisplayRect{};
        }
        ~Monitor() override { owner_.layout_.displays.erase(id_); }
        std::uint32_t displayID() const override { return id_; }
        void placeAdjacentToOtherDisplays() override
        {
            int right = 0;
            for (const auto &[id, rect] : owner_.layout_.displays) {
                if (id != id_ && !rect.isEmpty())
                    right = std::max(right, rect.right());
            }
            moveTo(right, 0);
        }
        bool moveTo(int x, int y) override
        {
            if (!owner_.allowsNegativePositions && (x < 0 || y < 0))
                return false;
            owner_.layout_.displays[id_] = {x, y, width_, height_};
            return true;
        }

    private:
        FakeMonitors &owner_;
        std::uint32_t id_;
        int width_;
        int height_;
    };

    FakeLayout &layout_;
    std::uint32_t nextID_ = 100;
};

} // namespace lumarient::test
