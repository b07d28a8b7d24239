#include "display/VirtualDisplay.h"

#include <atomic>

namespace lumarient {

namespace {
std::atomic<std::uint32_t> serialNumberCounter{1};
}

std::uint32_t VirtualDisplay::nextSerialNumber()
{
    return serialNumberCounter.load();
}

std::shared_ptr<VirtualDisplay> VirtualDisplay::create(VirtualMonitorFactory &factory, const QString &name, int width,
                                                       int height, double refreshRate,
                                                       std::shared_ptr<VirtualMonitorAttempt> attempt)
{
    if (!factory.isAvailable() || width <= 0 || height <= 0) {
        return nullptr;
    }
    VirtualMonitorRequest request;
    request.name = name;
    request.width = width;
    request.height = height;
    request.widthMillimeters = millimeters(width);
    request.heightMillimeters = millimeters(height);
    request.serialNumber = serialNumberCounter.fetch_add(1);
    request.refreshRate = refreshRate;
    request.attempt = std::move(attempt);
    std::unique_ptr<VirtualMonitor> monitor = factory.create(request);
    if (monitor == nullptr || monitor->displayID() == 0) {
        return nullptr;
    }
    return std::shared_ptr<VirtualDisplay>(new VirtualDisplay(std::move(monitor), width, height, request.serialNumber));
}

VirtualDisplay::VirtualDisplay(std::unique_ptr<VirtualMonitor> handle, int width, int height,
                               std::uint32_t serialNumber)
    : displayID_(handle->displayID()), width_(width), height_(height), serialNumber_(serialNumber),
      handle_(std::move(handle))
{
}

void VirtualDisplay::placeAdjacentToMainDisplay()
{
    handle_->placeAdjacentToOtherDisplays();
}

bool VirtualDisplay::moveTo(int x, int y)
{
    return handle_->moveTo(x, y);
}

void VirtualDisplay::setEndedHandler(std::function<void()> ended)
{
    handle_->setEndedHandler(std::move(ended));
}

} // namespace lumarient
