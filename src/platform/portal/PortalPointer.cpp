#include "platform/portal/PortalPointer.h"

#include "platform/portal/ScreenCastSession.h"

namespace lumarient::portal {

void PortalPointer::post(MouseAction action, double x, double y)
{
    if (!session_) {
        return;
    }
    session_->movePointer(x, y);
    if (action == MouseAction::leftDown) {
        session_->pressLeftButton(true);
    } else if (action == MouseAction::leftUp) {
        session_->pressLeftButton(false);
    }
}

} // namespace lumarient::portal
