#include "platform/UserDefaults.h"

#include "platform/Log.h"

#include <QDir>
#include <QStandardPaths>

namespace lumarient {

UserDefaults::UserDefaults(const QString &filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    settings_->setAtomicSyncRequired(true);
    QDir().mkpath(QFileInfo(filePath).absolutePath());
}

QString UserDefaults::defaultFilePath()
{
    const QString overrideDir = qEnvironmentVariable("LUMARIENT_CONFIG_DIR");
    if (!overrideDir.isEmpty())
        return QDir(overrideDir).filePath(QStringLiteral("Lumarient.conf"));
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("Lumarient/Lumarient.conf"));
}

QString UserDefaults::filePath() const
{
    std::lock_guard lock(mutex_);
    return settings_->fileName();
}

bool UserDefaults::contains(const QString &key) const
{
    std::lock_guard lock(mutex_);
    return settings_->contains(key);
}

QVariant UserDefaults::value(const QString &key) const
{
    std::lock_guard lock(mutex_);
    return settings_->value(key);
}

QString UserDefaults::string(const QString &key) const
{
    const QVariant stored = value(key);
    if (!stored.isValid() || stored.typeId() != QMetaType::QString)
        return QString();
    return stored.toString();
}

QStringList UserDefaults::stringArray(const QString &key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList();
    if (stored.typeId() == QMetaType::QVariantList) {
        QStringList texts;
        for (const QVariant &element : stored.toList()) {
            if (element.typeId() == QMetaType::QString)
                texts.append(element.toString());
        }
        return texts;
    }
    // QSettings reads a one-element list back as a plain text.
    if (stored.typeId() == QMetaType::QString)
        return {stored.toString()};
    return {};
}

QStringList UserDefaults::keys() const
{
    std::lock_guard lock(mutex_);
    return settings_->allKeys();
}

bool UserDefaults::setValue(const QString &key, const QVariant &value)
{
    std::lock_guard lock(mutex_);
    settings_->setValue(key, value);
    return syncLocked();
}

bool UserDefaults::remove(const QString &key)
{
    std::lock_guard lock(mutex_);
    settings_->remove(key);
    return syncLocked();
}

bool UserDefaults::syncLocked()
{
    settings_->sync();
    if (settings_->status() == QSettings::NoError)
        return true;
    logLine(QStringLiteral("Lumarient"), QStringLiteral("Could not write settings to %1").arg(settings_->fileName()));
    return false;
}

} // namespace lumarient
