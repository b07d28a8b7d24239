#pragma once

#include <QString>

#include <optional>

namespace lumarient {

class UserDefaults;

// Decides which executable runs for each external tool. Paths are computed anew
// on every use, so a changed override takes effect on the next command.
//
// The "bundle" is the installation prefix (the parent of the executable's
// folder): helpers live in <prefix>/libexec/lumarient/, resources in
// <prefix>/share/lumarient/.
class ToolPaths {
public:
    ToolPaths(const UserDefaults &defaults, QString installPrefix);

    // The prefix of the running executable: the parent of its folder.
    static QString prefixOfRunningExecutable();

    QString adb() const;
    QString scrcpy() const;
    // The scrcpy server file inside the installation, if there is one.
    std::optional<QString> scrcpyServerPath() const;

    const QString &installPrefix() const { return installPrefix_; }
    // `relativePath` under the installation prefix.
    QString bundled(const QString &relativePath) const;

    // The override stored under `key` unless it is empty or equal to the
    // fallback; else the executable copy at `bundledPath` inside the
    // installation; else the fallback: `tool` as found on PATH, or "/usr/bin/"
    // followed by `tool`.
    QString resolve(const QString &key, const QString &tool, const QString &bundledPath) const;

private:
    const UserDefaults &defaults_;
    QString installPrefix_;
};

} // namespace lumarient
