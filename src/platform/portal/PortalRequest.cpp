#include "platform/portal/PortalRequest.h"

#include "platform/portal/ResponseWaiter.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

namespace lumarient::portal {

namespace {
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
}

QString requestObjectPath(const QString &uniqueName, const QString &token)
{
    QString sender = uniqueName;
    if (sender.startsWith(QLatin1Char(':'))) {
        sender.remove(0, 1);
    }
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

PortalRequester::PortalRequester(QDBusConnection bus) : bus_(std::move(bus))
{
    answers_.setObjectName(QStringLiteral("lum-portal"));
    answers_.start();
}

PortalRequester::~PortalRequester()
{
    answers_.quit();
    answers_.wait();
}

QString PortalRequester::nextToken()
{
    return QStringLiteral("lumarient%1").arg(tokens_.fetch_add(1) + 1);
}

PortalResponse PortalRequester::request(const QString &interface, const QString &method, const QVariantList &arguments,
                                        QVariantMap options, std::chrono::milliseconds limit,
                                        Cancellation *cancellation)
{
    if (cancellation != nullptr && cancellation->isCancelled()) {
        PortalResponse response;
        response.outcome = PortalResponse::Outcome::cancelled;
        return response;
    }
    const QString token = nextToken();
    const QString expected = requestObjectPath(bus_.baseService(), token);
    auto *waiter = new ResponseWaiter;
    waiter->moveToThread(&answers_);
    std::future<PortalResponse> answer = waiter->answer();
    const QString service = QString::fromLatin1(portalService);
    const char *slot = SLOT(respond(uint, QVariantMap));
    Cancellation::Hook wake;
    if (cancellation != nullptr) {
        wake = cancellation->onCancel([waiter] { waiter->cancel(); });
    }
    QStringList subscribed;
    if (bus_.connect(service, expected, requestInterface, QStringLiteral("Response"), waiter, slot)) {
        subscribed << expected;
    }

    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromLatin1(portalPath), interface, method);
    call.setArguments(QVariantList(arguments) << options);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, 25000);

    PortalResponse response;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        response.outcome = PortalResponse::Outcome::callFailed;
        response.errorName = reply.errorName();
        response.errorMessage = reply.errorMessage();
    } else {
        // A portal older than the path rule answers under a path of its own.
        const QString actual = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (!actual.isEmpty() && actual != expected &&
            bus_.connect(service, actual, requestInterface, QStringLiteral("Response"), waiter, slot)) {
            subscribed << actual;
        }
        if (answer.wait_for(limit) == std::future_status::ready) {
            response = answer.get();
        }
        if (response.outcome != PortalResponse::Outcome::answered) {
            // Takes any dialog down again.
            for (const QString &path : subscribed) {
                bus_.send(QDBusMessage::createMethodCall(service, path, requestInterface, QStringLiteral("Close")));
            }
        }
    }
    wake = Cancellation::Hook();
    for (const QString &path : subscribed) {
        bus_.disconnect(service, path, requestInterface, QStringLiteral("Response"), waiter, slot);
    }
    waiter->deleteLater();
    return response;
}

} // namespace lumarient::portal
