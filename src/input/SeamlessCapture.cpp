#include "input/SeamlessCapture.h"

#include "display/DisplayGeometryCache.h"
#include "input/EvdevKeyMap.h"
#include "input/HidKeyMap.h"
#include "input/InputSink.h"
#include "platform/Log.h"

#include <algorithm>
#include <cmath>

namespace lumarient {
namespace {

const QString component = QStringLiteral("SeamlessCapture");

bool contains(const DisplayRect &rect, TapPoint point)
{
    return !rect.isEmpty() && point.x >= rect.x && point.x < rect.right() && point.y >= rect.y &&
           point.y < rect.bottom();
}

TapPoint centre(const DisplayRect &rect)
{
    return {rect.x + rect.width / 2.0, rect.y + rect.height / 2.0};
}

std::uint8_t buttonBit(InputTap::Button button)
{
    switch (button) {
    case InputTap::Button::left:
        return Buttons::left;
    case InputTap::Button::right:
        return Buttons::right;
    case InputTap::Button::middle:
        return Buttons::middle;
    case InputTap::Button::other:
        return 0;
    }
    return 0;
}

} // namespace

SeamlessCapture::SeamlessCapture(Dependencies dependencies) : dependencies_(std::move(dependencies))
{
}

SeamlessCapture::~SeamlessCapture()
{
    stopTap();
}

QString SeamlessCapture::edgeName(Edge edge)
{
    switch (edge) {
    case Edge::left:
        return QStringLiteral("left");
    case Edge::right:
        return QStringLiteral("right");
    case Edge::top:
        return QStringLiteral("top");
    case Edge::bottom:
        return QStringLiteral("bottom");
    }
    return {};
}

bool SeamlessCapture::addDevice(std::uint32_t displayID, InputSink &server, PhoneSize phoneSize, double pointerSpeed)
{
    devices_[displayID] = &server;
    screenSizes_[displayID] = phoneSize;
    pointerSpeeds_[displayID] = std::isfinite(pointerSpeed) && pointerSpeed > 0 ? pointerSpeed : 1.0;
    const bool running = ensureTap();
    tellStandIns();
    return running;
}

void SeamlessCapture::removeDevice(std::uint32_t displayID)
{
    const bool wasActive = activeDisplayID_ == displayID;
    if (wasActive)
        releasePhone();
    devices_.erase(displayID);
    screenSizes_.erase(displayID);
    pointerSpeeds_.erase(displayID);
    if (wasActive)
        resetCapture();
    if (devices_.empty())
        stopTap();
    else
        tellStandIns();
}

void SeamlessCapture::standInsMoved()
{
    if (!devices_.empty())
        tellStandIns();
}

void SeamlessCapture::tellStandIns()
{
    std::vector<DisplayRect> rects;
    for (const auto &[displayID, server] : devices_)
        rects.push_back(dependencies_.geometry.displayBounds(displayID));
    dependencies_.tap.setStandIns(std::move(rects));
}

bool SeamlessCapture::ensureTap()
{
    if (tapRunning_)
        return true;
    tapRunning_ = dependencies_.tap.start([this](const InputTap::Event &event) { return handle(event); });
    return tapRunning_;
}

void SeamlessCapture::stopTap()
{
    releasePhone();
    resetCapture();
    if (tapRunning_)
        dependencies_.tap.stop();
    tapRunning_ = false;
}

void SeamlessCapture::resetCapture()
{
    if (cursorHidden_) {
        dependencies_.tap.showCursor();
        cursorHidden_ = false;
    }
    if (grabbed_) {
        dependencies_.tap.release();
        grabbed_ = false;
    }
    activeDisplayID_.reset();
    entryEdge_.reset();
    armedAtEntryEdge_ = false;
    pendingWarpDelta_.reset();
    warpGrace_ = 0;
    edgePush_ = 0;
    phoneCursor_ = {};
    carry_ = {};
    scrollCarry_ = {};
}

void SeamlessCapture::releasePhone()
{
    if (activeDisplayID_) {
        const auto found = devices_.find(*activeDisplayID_);
        // A modifier held alone counts too: otherwise the phone would keep it
        // pressed after Control+Escape.
        if (found != devices_.end() && (!heldKeys_.empty() || !buttons_.isEmpty() || sentModifiers_ != 0)) {
            heldKeys_.clear();
            buttons_ = {};
            found->second->sendKeys(0, {});
            found->second->sendMouse(0, 0, {}, 0, 0);
        }
    }
    heldKeys_.clear();
    buttons_ = {};
    sentModifiers_ = 0;
    modifiers_.clear();
}

std::uint8_t SeamlessCapture::modifierByte() const
{
    return HidKeyMap::modifiers(modifiers_.flags());
}

bool SeamlessCapture::handle(const InputTap::Event &event)
{
    if (event.type == InputTap::EventType::grabLost) {
        // The desktop took its keyboard and pointer back (a grab was broken):
        // the phone cannot be driven any more.
        grabbed_ = false;
        if (activeDisplayID_)
            setActiveDisplay(std::nullopt, std::nullopt);
        return false;
    }
    if (event.type == InputTap::EventType::motion && !activeDisplayID_) {
        for (const auto &[displayID, server] : devices_) {
            if (!contains(dependencies_.geometry.displayBounds(displayID), event.position))
                continue;
            if (!dependencies_.isRealWindow || !dependencies_.isRealWindow(event.position))
                setActiveDisplay(displayID, event.position);
            break;
        }
    }
    if (!activeDisplayID_)
        return false;
    const auto found = devices_.find(*activeDisplayID_);
    if (found == devices_.end())
        return false;
    InputSink &server = *found->second;

    switch (event.type) {
    case InputTap::EventType::buttonDown:
        buttons_.insert(buttonBit(event.button));
        server.sendMouse(0, 0, buttons_, 0, 0);
        return true;
    case InputTap::EventType::buttonUp:
        buttons_.remove(buttonBit(event.button));
        server.sendMouse(0, 0, buttons_, 0, 0);
        return true;
    case InputTap::EventType::motion:
        handlePhoneMove(*activeDisplayID_, event, server);
        return true;
    case InputTap::EventType::wheel:
        handleWheel(event, server);
        return true;
    case InputTap::EventType::keyDown:
    case InputTap::EventType::keyUp:
        handleKey(event, server);
        return true;
    case InputTap::EventType::grabLost:
        break;
    }
    return false;
}

void SeamlessCapture::returnToComputer()
{
    if (activeDisplayID_)
        setActiveDisplay(std::nullopt, std::nullopt);
}

void SeamlessCapture::handleWheel(const InputTap::Event &event, InputSink &server)
{
    const double wheel = scrollCarry_.y + event.wheel;
    const double pan = scrollCarry_.x + event.pan;
    const double wholeWheel = std::trunc(wheel);
    const double wholePan = std::trunc(pan);
    scrollCarry_ = {pan - wholePan, wheel - wholeWheel};
    if (wholeWheel == 0 && wholePan == 0)
        return;
    server.sendMouse(0, 0, buttons_, std::int64_t(wholeWheel), std::int64_t(wholePan));
}

void SeamlessCapture::handleKey(const InputTap::Event &event, InputSink &server)
{
    const bool down = event.type == InputTap::EventType::keyDown;
    if (down ? modifiers_.press(event.keyCode) : modifiers_.release(event.keyCode)) {
        sentModifiers_ = modifierByte();
        server.sendKeys(sentModifiers_, heldKeys_);
        return;
    }
    const std::optional<std::uint8_t> virtualCode = EvdevKeyMap::virtualKeyCode(event.keyCode);
    if (down && virtualCode == VirtualKey::escape && (modifiers_.flags() & ModifierFlags::control)) {
        logLine(component, QStringLiteral("Control+Escape — forced return to computer"));
        setActiveDisplay(std::nullopt, std::nullopt);
        return;
    }
    const std::uint8_t usage = virtualCode ? HidKeyMap::usage(*virtualCode) : 0;
    if (usage == 0)
        return;
    if (down) {
        if (std::find(heldKeys_.begin(), heldKeys_.end(), usage) == heldKeys_.end()) {
            if (heldKeys_.size() >= maximumHeldKeys)
                heldKeys_.erase(heldKeys_.begin());
            heldKeys_.push_back(usage);
        }
    } else {
        std::erase(heldKeys_, usage);
    }
    sentModifiers_ = modifierByte();
    server.sendKeys(sentModifiers_, heldKeys_);
}

void SeamlessCapture::setActiveDisplay(std::optional<std::uint32_t> displayID, std::optional<TapPoint> location)
{
    releasePhone();
    activeDisplayID_ = displayID;
    logLine(component,
            QStringLiteral("activeDisplayID=") + (displayID ? QString::number(*displayID) : QStringLiteral("none")));
    edgePush_ = 0;
    carry_ = {};
    scrollCarry_ = {};

    if (displayID && location) {
        enter(*displayID, *location);
        return;
    }
    phoneCursor_ = {};
    entryEdge_.reset();
    armedAtEntryEdge_ = false;
    if (lastReportedEdge_) {
        lastReportedEdge_.reset();
        if (onCursorEdgeChanged)
            onCursorEdgeChanged(std::nullopt, std::nullopt);
    }
    pendingWarpDelta_.reset();
    warpGrace_ = 0;
    if (cursorHidden_) {
        dependencies_.tap.showCursor();
        cursorHidden_ = false;
    }
    if (grabbed_) {
        dependencies_.tap.release();
        grabbed_ = false;
    }
    if (const std::optional<TapPoint> cursor = dependencies_.tap.cursorPosition()) {
        for (const auto &[standIn, server] : devices_) {
            if (!contains(dependencies_.geometry.displayBounds(standIn), *cursor))
                continue;
            for (std::uint32_t display : dependencies_.geometry.activeDisplays()) {
                if (!devices_.count(display)) {
                    dependencies_.tap.warp(centre(dependencies_.geometry.displayBounds(display)));
                    break;
                }
            }
            break;
        }
    }
    if (onExit)
        onExit();
}

void SeamlessCapture::enter(std::uint32_t displayID, TapPoint location)
{
    if (!dependencies_.tap.grab()) {
        // Another client holds the keyboard or pointer: the desktop keeps them.
        logLine(component, QStringLiteral("cannot take the keyboard and pointer; staying on the computer"));
        activeDisplayID_.reset();
        return;
    }
    grabbed_ = true;
    const DisplayRect bounds = dependencies_.geometry.displayBounds(displayID);
    const auto sizeEntry = screenSizes_.find(displayID);
    const PhoneSize size = sizeEntry != screenSizes_.end() ? sizeEntry->second : PhoneSize{};
    const TapPoint local{location.x - bounds.x, location.y - bounds.y};

    const std::pair<Edge, double> candidates[] = {
        {Edge::left, local.x},
        {Edge::right, bounds.width - local.x},
        {Edge::top, local.y},
        {Edge::bottom, bounds.height - local.y},
    };
    const std::set<Edge> bordered = borderedEdges(bounds, displayID);
    std::optional<std::pair<Edge, double>> best;
    for (const auto &candidate : candidates) {
        if (!bordered.empty() && !bordered.count(candidate.first))
            continue;
        if (!best || candidate.second < best->second)
            best = candidate;
    }
    entryEdge_ = best->first;
    armedAtEntryEdge_ = true;

    const double sx = bounds.width > 0 ? size.width / bounds.width : 1;
    const double sy = bounds.height > 0 ? size.height / bounds.height : 1;
    TapPoint point;
    switch (*entryEdge_) {
    case Edge::left:
        point = {0, local.y * sy};
        break;
    case Edge::right:
        point = {size.width, local.y * sy};
        break;
    case Edge::top:
        point = {local.x * sx, 0};
        break;
    case Edge::bottom:
        point = {local.x * sx, size.height};
        break;
    }
    phoneCursor_ = {std::clamp(point.x, 0.0, std::max(0.0, size.width)),
                    std::clamp(point.y, 0.0, std::max(0.0, size.height))};
    if (!cursorHidden_) {
        dependencies_.tap.hideCursor();
        cursorHidden_ = true;
    }
}

std::set<SeamlessCapture::Edge> SeamlessCapture::borderedEdges(const DisplayRect &rect, std::uint32_t excluded)
{
    std::set<Edge> edges;
    for (std::uint32_t display : dependencies_.geometry.activeDisplays()) {
        if (display == excluded)
            continue;
        const DisplayRect other = dependencies_.geometry.displayBounds(display);
        if (other.isEmpty())
            continue;
        const bool verticalOverlap = other.y < rect.bottom() && other.bottom() > rect.y;
        const bool horizontalOverlap = other.x < rect.right() && other.right() > rect.x;
        if (verticalOverlap) {
            if (std::abs(other.right() - rect.x) <= borderTolerance)
                edges.insert(Edge::left);
            if (std::abs(other.x - rect.right()) <= borderTolerance)
                edges.insert(Edge::right);
        }
        if (horizontalOverlap) {
            if (std::abs(other.bottom() - rect.y) <= borderTolerance)
                edges.insert(Edge::top);
            if (std::abs(other.y - rect.bottom()) <= borderTolerance)
                edges.insert(Edge::bottom);
        }
    }
    return edges;
}

TapPoint SeamlessCapture::speedScale(std::uint32_t displayID)
{
    const DisplayRect bounds = dependencies_.geometry.displayBounds(displayID);
    const auto size = screenSizes_.find(displayID);
    const auto speed = pointerSpeeds_.find(displayID);
    const double factor = speed == pointerSpeeds_.end() ? 1.0 : speed->second;
    if (size == screenSizes_.end() || size->second.width <= 0 || size->second.height <= 0 || bounds.width <= 0 ||
        bounds.height <= 0)
        return {factor, factor};
    return {factor * size->second.width / bounds.width, factor * size->second.height / bounds.height};
}

void SeamlessCapture::handlePhoneMove(std::uint32_t displayID, const InputTap::Event &event, InputSink &server)
{
    const auto sizeEntry = screenSizes_.find(displayID);
    if (sizeEntry == screenSizes_.end())
        return;
    const PhoneSize size = sizeEntry->second;
    const double dx = event.dx;
    const double dy = event.dy;
    if (pendingWarpDelta_) {
        if (std::abs(dx - pendingWarpDelta_->x) < warpEchoTolerance &&
            std::abs(dy - pendingWarpDelta_->y) < warpEchoTolerance) {
            pendingWarpDelta_.reset();
            warpGrace_ = 0;
            return;
        }
        if (--warpGrace_ < 1)
            pendingWarpDelta_.reset();
    }
    const TapPoint scale = speedScale(displayID);
    const double fx = carry_.x + scale.x * dx;
    const double fy = carry_.y + scale.y * dy;
    const double ix = std::trunc(fx);
    const double iy = std::trunc(fy);
    carry_ = {fx - ix, fy - iy};
    if (ix != 0 || iy != 0)
        server.sendMouse(std::int64_t(ix), std::int64_t(iy), buttons_, 0, 0);
    phoneCursor_.x = std::clamp(phoneCursor_.x + ix, 0.0, std::max(0.0, size.width));
    phoneCursor_.y = std::clamp(phoneCursor_.y + iy, 0.0, std::max(0.0, size.height));

    const DisplayRect bounds = dependencies_.geometry.displayBounds(displayID);
    const TapPoint location = event.position;
    if (location.x - bounds.x < recentreMargin || bounds.right() - location.x < recentreMargin ||
        location.y - bounds.y < recentreMargin || bounds.bottom() - location.y < recentreMargin)
        recentreMacCursor(displayID);
    reportCursorEdge();
    handleEdgePush(ix, iy, size, displayID);
}

void SeamlessCapture::recentreMacCursor(std::uint32_t displayID)
{
    const TapPoint middle = centre(dependencies_.geometry.displayBounds(displayID));
    const std::optional<TapPoint> previous = dependencies_.tap.cursorPosition();
    dependencies_.tap.warp(middle);
    if (!previous)
        return;
    const TapPoint moved{middle.x - previous->x, middle.y - previous->y};
    if (std::abs(moved.x) > warpSignificance || std::abs(moved.y) > warpSignificance) {
        pendingWarpDelta_ = moved;
        warpGrace_ = warpGrace;
    }
}

std::optional<SeamlessCapture::CursorEdge> SeamlessCapture::activePhoneCursorEdge() const
{
    if (!activeDisplayID_)
        return std::nullopt;
    const auto size = screenSizes_.find(*activeDisplayID_);
    if (size == screenSizes_.end())
        return std::nullopt;
    std::optional<Edge> edge;
    if (phoneCursor_.x <= 0)
        edge = Edge::left;
    else if (phoneCursor_.x >= size->second.width)
        edge = Edge::right;
    else if (phoneCursor_.y <= 0)
        edge = Edge::top;
    else if (phoneCursor_.y >= size->second.height)
        edge = Edge::bottom;
    if (!edge)
        return std::nullopt;
    return CursorEdge{*activeDisplayID_, edgeName(*edge)};
}

void SeamlessCapture::reportCursorEdge()
{
    const std::optional<CursorEdge> current = activePhoneCursorEdge();
    const std::optional<QString> text = current ? std::optional<QString>(current->edge) : std::nullopt;
    if (text == lastReportedEdge_)
        return;
    lastReportedEdge_ = text;
    if (onCursorEdgeChanged)
        onCursorEdgeChanged(activeDisplayID_, text);
}

void SeamlessCapture::handleEdgePush(double dx, double dy, PhoneSize size, std::uint32_t displayID)
{
    const DisplayRect bounds = dependencies_.geometry.displayBounds(displayID);
    const std::set<Edge> bordered = borderedEdges(bounds, displayID);
    std::vector<Edge> order;
    if (entryEdge_ && bordered.count(*entryEdge_))
        order.push_back(*entryEdge_);
    for (Edge edge : bordered) {
        if (edge != entryEdge_)
            order.push_back(edge);
    }
    if (order.empty() && entryEdge_)
        order.push_back(*entryEdge_);
    if (order.empty()) {
        edgePush_ = 0;
        armedAtEntryEdge_ = false;
        return;
    }

    const auto at = [&](Edge edge) {
        switch (edge) {
        case Edge::left:
            return std::pair{phoneCursor_.x <= 0, -dx};
        case Edge::right:
            return std::pair{phoneCursor_.x >= size.width, dx};
        case Edge::top:
            return std::pair{phoneCursor_.y <= 0, -dy};
        case Edge::bottom:
            return std::pair{phoneCursor_.y >= size.height, dy};
        }
        return std::pair{false, 0.0};
    };
    std::optional<Edge> chosen;
    for (Edge edge : order) {
        const auto [isAt, push] = at(edge);
        if (isAt && push > 0) {
            chosen = edge;
            break;
        }
    }
    if (!chosen) {
        for (Edge edge : order) {
            if (at(edge).first) {
                chosen = edge;
                break;
            }
        }
    }
    if (!chosen) {
        edgePush_ = 0;
        armedAtEntryEdge_ = false;
        return;
    }
    if (armedAtEntryEdge_)
        return;
    const double push = at(*chosen).second;
    if (push <= 0) {
        edgePush_ = 0;
        return;
    }
    edgePush_ += push;
    if (edgePush_ < exitThreshold)
        return;

    logLine(component, QStringLiteral("edge-push exit (") + QString::number(edgePush_, 'f', 1) +
                           QStringLiteral("px against ") + edgeName(*chosen) + QStringLiteral(")"));
    const double scaleX = size.width > 0 ? bounds.width / size.width : 1;
    const double scaleY = size.height > 0 ? bounds.height / size.height : 1;
    TapPoint point{std::clamp(bounds.x + phoneCursor_.x * scaleX, bounds.x + 1.0, bounds.right() - 1.0),
                   std::clamp(bounds.y + phoneCursor_.y * scaleY, bounds.y + 1.0, bounds.bottom() - 1.0)};
    switch (*chosen) {
    case Edge::left:
        point.x = bounds.x - exitOffset;
        break;
    case Edge::right:
        point.x = bounds.right() + exitOffset;
        break;
    case Edge::top:
        point.y = bounds.y - exitOffset;
        break;
    case Edge::bottom:
        point.y = bounds.bottom() + exitOffset;
        break;
    }
    setActiveDisplay(std::nullopt, std::nullopt);
    dependencies_.tap.warp(point);
}

} // namespace lumarient
