#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <mutex>
#include <optional>

namespace lumarient {

// The user's persisted settings ("user defaults"): an INI file read and written
// through QSettings under the keys the rest of the system names. Every write is
// synced at once and QSettings replaces the file atomically, so a crash mid-write
// never leaves a truncated file. Safe to use from any thread.
class UserDefaults {
public:
    explicit UserDefaults(const QString &filePath);

    // `$LUMARIENT_CONFIG_DIR/Lumarient.conf` when that variable is set, otherwise
    // `$XDG_CONFIG_HOME/Lumarient/Lumarient.conf`.
    static QString defaultFilePath();

    QString filePath() const;

    bool contains(const QString &key) const;
    QVariant value(const QString &key) const;
    // The text stored under `key`, or a null QString when there is none.
    QString string(const QString &key) const;
    QStringList stringArray(const QString &key) const;
    QStringList keys() const;
    // The entry of a top-level `key` as the file spells it (escapes and all),
    // or none when the file has no such entry. For values that value() cannot
    // decode and reports as absent, which must still not be lost.
    std::optional<QString> entryText(const QString &key) const;

    // Returns false when the file could not be written.
    bool setValue(const QString &key, const QVariant &value);
    bool remove(const QString &key);

private:
    bool syncLocked();

    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace lumarient
