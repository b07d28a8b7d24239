#include "platform/UserDefaults.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <tuple>

namespace lumarient {
namespace {

// Which file a path names, and its last change: QSettings writes a new file
// and renames it over the old one, so a successful write always changes it.
auto fileVersion(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::make_tuple(dev_t(0), ino_t(0), time_t(0), long(0), off_t(-1));
    return std::make_tuple(info.st_dev, info.st_ino, info.st_mtim.tv_sec, long(info.st_mtim.tv_nsec), info.st_size);
}

} // namespace

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

std::optional<QString> UserDefaults::entryText(const QString &key) const
{
    std::lock_guard lock(mutex_);
    QFile file(settings_->fileName());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Top-level keys live before any section or in "[General]".
    bool topLevel = true;
    std::optional<QString> found;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            topLevel = line == QLatin1String("[General]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (topLevel && equals > 0 && QStringView(line).first(equals).trimmed() == key)
            found = line.mid(equals + 1).trimmed();
    }
    return found;
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
    // QSettings keeps reporting the first problem it met (a format error in the
    // file it read, an earlier failed write) however later writes go, so the
    // file on disk tells whether this write landed.
    const auto before = fileVersion(settings_->fileName());
    settings_->sync();
    if (settings_->status() == QSettings::NoError || fileVersion(settings_->fileName()) != before)
        return true;
    logLine(QStringLiteral("Lumarient"), QStringLiteral("Could not write settings to %1").arg(settings_->fileName()));
    return false;
}

} // namespace lumarient
