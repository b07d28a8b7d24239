#include "platform/portal/ResponseWaiter.h"

namespace lumarient::portal {

void ResponseWaiter::respond(uint code, const QVariantMap &results)
{
    std::call_once(once_, [&] {
        PortalResponse response;
        response.outcome = PortalResponse::Outcome::answered;
        response.code = code;
        response.results = results;
        promise_.set_value(std::move(response));
    });
}

void ResponseWaiter::cancel()
{
    std::call_once(once_, [&] {
        PortalResponse response;
        response.outcome = PortalResponse::Outcome::cancelled;
        promise_.set_value(std::move(response));
    });
}

} // namespace lumarient::portal
