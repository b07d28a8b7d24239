#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace lumarient {

class UserDefaults;

// The user's saved settings for one phone model. Identity is `id`.
struct DeviceConfig {
    QUuid id;
    QString name;
    // Compared with ConnectedDevice::model by exact, case-sensitive equality.
    QString modelPattern;
    int wifiPort = 0;
    // Android overlay-display notation: width "x" height "/" density.
    QString resolution = defaultResolution();
    bool supportsVirtualDisplay = false;
    bool virtualDisplayHasWindowManagement = false;

    static QString defaultResolution() { return QStringLiteral("2560x1600/240"); }

    bool operator==(const DeviceConfig &) const = default;

    // The list stored under "deviceConfigs"; empty when there is none or it does
    // not decode. A stored value that does not decode is first copied under a
    // backup key (see unreadableBackupPrefix) so the next save cannot lose it.
    static QList<DeviceConfig> load(UserDefaults &defaults);
    // Replaces the stored list. Returns false when nothing could be stored.
    static bool save(UserDefaults &defaults, const QList<DeviceConfig> &configs);

    // Wire form: a JSON array of objects with exactly the seven keys.
    static QByteArray encode(const QList<DeviceConfig> &configs);
    // All seven keys with their types are required in every element; any
    // malformed element makes the whole list undecodable.
    static std::optional<QList<DeviceConfig>> decode(const QByteArray &json);

    static QString storageKey() { return QStringLiteral("deviceConfigs"); }
    // Backups of unreadable stored lists live under this prefix followed by the
    // UTC time they were found, e.g. "deviceConfigsUnreadable-20261206T064300Z".
    static QString unreadableBackupPrefix() { return QStringLiteral("deviceConfigsUnreadable-"); }
};

// A phone belongs to a configuration when its model equals the pattern exactly.
inline bool matches(const DeviceConfig &config, const QString &model)
{
    return config.modelPattern == model;
}

} // namespace lumarient
