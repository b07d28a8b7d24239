#include "StatusNotifierHost.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace lumarient::bench {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

// One dbusmenu layout node, (ia{sv}av), with its children: their labels, depth first.
void collectLabels(const QDBusArgument &node, QStringList &labels)
{
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    const QString label = properties.value(QStringLiteral("label")).toString();
    if (!label.isEmpty())
        labels.append(label);
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        collectLabels(qvariant_cast<QDBusArgument>(child.variant()), labels);
    }
    node.endArray();
    node.endStructure();
}

} // namespace

StatusNotifierHost::StatusNotifierHost(QDBusConnection bus, QString wantedLabel)
    : bus_(std::move(bus)), wantedLabel_(std::move(wantedLabel))
{
    serving_ = bus_.registerObject(watcherPath, this,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                       QDBusConnection::ExportAllSignals) &&
               bus_.registerService(watcherService);
    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, &StatusNotifierHost::readMenu);
}

StatusNotifierHost::~StatusNotifierHost()
{
    bus_.unregisterService(watcherService);
    bus_.unregisterObject(watcherPath);
}

QStringList StatusNotifierHost::registeredStatusNotifierItems() const
{
    return item_.isEmpty() ? QStringList() : QStringList{item_ + itemPath_};
}

void StatusNotifierHost::RegisterStatusNotifierHost(const QString &)
{
}

void StatusNotifierHost::RegisterStatusNotifierItem(const QString &serviceOrPath)
{
    if (!item_.isEmpty())
        return;
    // Items name either their bus name or, on their sender's connection, their object.
    if (serviceOrPath.startsWith(QLatin1Char('/'))) {
        item_ = message().service();
        itemPath_ = serviceOrPath;
    } else {
        item_ = serviceOrPath;
        itemPath_ = QStringLiteral("/StatusNotifierItem");
    }
    emit StatusNotifierItemRegistered(item_ + itemPath_);
    askForMenuPath();
}

void StatusNotifierHost::askForMenuPath()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        item_, itemPath_, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return;
        menuPath_ = qvariant_cast<QDBusObjectPath>(reply.value().variant()).path();
        if (menuPath_.isEmpty())
            return;
        for (const char *signal : {"LayoutUpdated", "ItemsPropertiesUpdated"})
            bus_.connect(item_, menuPath_, menuInterface, QLatin1String(signal), this, SLOT(readMenu()));
        poll_.start();
        readMenu();
    });
}

void StatusNotifierHost::readMenu()
{
    if (menuPath_.isEmpty() || menuReady_)
        return;
    if (reading_) {
        readAgain_ = true;
        return;
    }
    reading_ = true;
    QDBusMessage getLayout =
        QDBusMessage::createMethodCall(item_, menuPath_, menuInterface, QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(getLayout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        reading_ = false;
        const QDBusMessage reply = call->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2) {
            QStringList labels;
            collectLabels(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), labels);
            labels_ = labels;
            if (labels_.contains(wantedLabel_)) {
                menuReady_ = true;
                poll_.stop();
                emit menuBecameReady();
                return;
            }
        }
        if (readAgain_) {
            readAgain_ = false;
            readMenu();
        }
    });
}

} // namespace lumarient::bench
