#pragma once

#include "platform/portal/PortalRequest.h"

#include <QObject>
#include <QVariantMap>

#include <future>
#include <mutex>

namespace lumarient::portal {

// Receives one Request's Response signal; the first answer (or a cancel from
// any thread) counts.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    std::future<PortalResponse> answer() { return promise_.get_future(); }
    void cancel();

public slots:
    void respond(uint code, const QVariantMap &results);

private:
    std::promise<PortalResponse> promise_;
    std::once_flag once_;
};

} // namespace lumarient::portal
