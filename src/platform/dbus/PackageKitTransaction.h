#pragma once

#include "platform/PackageInstaller.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

namespace lumarient {

// One PackageKit transaction installing one file: it follows the transaction's
// signals until it finishes, or until PackageKit leaves the bus, and reports once.
class PackageKitTransaction : public QObject {
    Q_OBJECT
public:
    static const QString service;

    PackageKitTransaction(QDBusConnection bus, QString path, std::function<void(PackageInstaller::Outcome)> done,
                          QObject *parent);

    void installFile(const QString &file);

private slots:
    void errorCode(uint code, const QString &details);
    void finished(uint exit, uint runtime);

private:
    void report(PackageInstaller::Outcome outcome);

    QDBusConnection bus_;
    QString path_;
    std::function<void(PackageInstaller::Outcome)> done_;
    QDBusServiceWatcher serviceWatcher_;
    QString lastError_;
};

} // namespace lumarient
