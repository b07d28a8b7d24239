#include "model/DeviceConfig.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace lumarient {
namespace {

std::optional<DeviceConfig> decodeOne(const QJsonValue &element)
{
    if (!element.isObject())
        return std::nullopt;
    const QJsonObject object = element.toObject();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue name = object.value(QLatin1String("name"));
    const QJsonValue modelPattern = object.value(QLatin1String("modelPattern"));
    const QJsonValue wifiPort = object.value(QLatin1String("wifiPort"));
    const QJsonValue resolution = object.value(QLatin1String("resolution"));
    const QJsonValue supports = object.value(QLatin1String("supportsVirtualDisplay"));
    const QJsonValue windowManagement = object.value(QLatin1String("virtualDisplayHasWindowManagement"));
    if (!id.isString() || !name.isString() || !modelPattern.isString() || !wifiPort.isDouble() ||
        !resolution.isString() || !supports.isBool() || !windowManagement.isBool())
        return std::nullopt;

    // Only the canonical 8-4-4-4-12 form, in either case.
    const QString idText = id.toString();
    const QUuid uuid = QUuid::fromString(idText);
    if (idText.size() != 36 || uuid.isNull())
        return std::nullopt;

    constexpr qint64 notWhole = std::numeric_limits<qint64>::min();
    const qint64 port = wifiPort.toInteger(notWhole);
    if (port == notWhole || port < std::numeric_limits<int>::min() || port > std::numeric_limits<int>::max())
        return std::nullopt;

    DeviceConfig config;
    config.id = uuid;
    config.name = name.toString();
    config.modelPattern = modelPattern.toString();
    config.wifiPort = int(port);
    config.resolution = resolution.toString();
    config.supportsVirtualDisplay = supports.toBool();
    config.virtualDisplayHasWindowManagement = windowManagement.toBool();
    return config;
}

// Keeps a stored value that could not be read, unless an earlier backup already
// holds the same bytes, so that the next save cannot lose what the user had.
void keepUnreadable(UserDefaults &defaults, const QVariant &stored)
{
    for (const QString &key : defaults.keys()) {
        if (key.startsWith(DeviceConfig::unreadableBackupPrefix()) && defaults.value(key) == stored)
            return;
    }
    const QString key = DeviceConfig::unreadableBackupPrefix() +
                        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    defaults.setValue(key, stored);
    logLine(QStringLiteral("Lumarient"),
            QStringLiteral("Saved phone settings could not be read; kept them under \"%1\"").arg(key));
}

} // namespace

QByteArray DeviceConfig::encode(const QList<DeviceConfig> &configs)
{
    QJsonArray array;
    for (const DeviceConfig &config : configs) {
        QJsonObject object;
        object.insert(QLatin1String("id"), config.id.toString(QUuid::WithoutBraces).toUpper());
        object.insert(QLatin1String("name"), config.name);
        object.insert(QLatin1String("modelPattern"), config.modelPattern);
        object.insert(QLatin1String("wifiPort"), config.wifiPort);
        object.insert(QLatin1String("resolution"), config.resolution);
        object.insert(QLatin1String("supportsVirtualDisplay"), config.supportsVirtualDisplay);
        object.insert(QLatin1String("virtualDisplayHasWindowManagement"), config.virtualDisplayHasWindowManagement);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<DeviceConfig>> DeviceConfig::decode(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<DeviceConfig> configs;
    for (const QJsonValue &element : document.array()) {
        std::optional<DeviceConfig> config = decodeOne(element);
        if (!config)
            return std::nullopt;
        configs.append(*config);
    }
    return configs;
}

QList<DeviceConfig> DeviceConfig::load(UserDefaults &defaults)
{
    const QVariant stored = defaults.value(storageKey());
    if (!stored.isValid()) {
        // Present, but past what Qt can decode (a damaged "@Variant(...)"): what
        // is kept is the entry as the file spells it.
        if (const std::optional<QString> entry = defaults.entryText(storageKey()))
            keepUnreadable(defaults, *entry);
        return {};
    }
    if (stored.typeId() == QMetaType::QByteArray) {
        if (std::optional<QList<DeviceConfig>> configs = decode(stored.toByteArray()))
            return *configs;
    }
    keepUnreadable(defaults, stored);
    return {};
}

bool DeviceConfig::save(UserDefaults &defaults, const QList<DeviceConfig> &configs)
{
    return defaults.setValue(storageKey(), encode(configs));
}

} // namespace lumarient
