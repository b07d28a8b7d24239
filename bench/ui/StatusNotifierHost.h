#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace lumarient::bench {

// A desktop's tray, as small as a tray can be: it owns org.kde.StatusNotifierWatcher
// on `bus`, says a host is there, takes the first item that registers and reads
// that item's menu (com.canonical.dbusmenu) again whenever the menu says it
// changed, until it holds an entry labelled `wantedLabel`.
class StatusNotifierHost : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)
public:
    StatusNotifierHost(QDBusConnection bus, QString wantedLabel);
    ~StatusNotifierHost() override;

    // False when the watcher's name or object could not be taken.
    bool isServing() const { return serving_; }
    bool itemRegistered() const { return !item_.isEmpty(); }
    bool menuReady() const { return menuReady_; }
    // The labels of the last menu read, depth first.
    const QStringList &labels() const { return labels_; }

    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredStatusNotifierItems() const;

public slots:
    void RegisterStatusNotifierItem(const QString &serviceOrPath);
    void RegisterStatusNotifierHost(const QString &service);

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierHostRegistered();
    // The menu held the wanted entry for the first time.
    void menuBecameReady();

private slots:
    void readMenu();

private:
    void askForMenuPath();

    QDBusConnection bus_;
    QString wantedLabel_;
    bool serving_ = false;
    QString item_;
    QString itemPath_;
    QString menuPath_;
    bool reading_ = false;
    bool readAgain_ = false;
    bool menuReady_ = false;
    QStringList labels_;
    // Change signals can be missed between registration and subscription; a
    // slow poll covers that gap.
    QTimer poll_;
};

} // namespace lumarient::bench
