#pragma once

#include "platform/PackageInstaller.h"

#include <QDBusConnection>
#include <QObject>

namespace lumarient {

// Installs package files through PackageKit, the service behind the desktop's
// software centre: it asks the user for authorisation and resolves dependencies.
// On the system bus normally; tests give it a private one.
class PackageKitInstaller : public QObject, public PackageInstaller {
    Q_OBJECT
public:
    explicit PackageKitInstaller(QDBusConnection bus = QDBusConnection::systemBus(), QObject *parent = nullptr);

    void install(const QString &path, std::function<void(Outcome)> done) override;

private:
    QDBusConnection bus_;
};

} // namespace lumarient
