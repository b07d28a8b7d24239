#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace lumarient {

// The adb arguments that put a phone's global freeform setting back to
// `previous`, the value it had before the window watcher ran ("null" or none
// for a setting that did not exist); none when nothing needs doing because
// freeform support was already on.
std::optional<QStringList> freeformRestoreArguments(const QString &serial, const std::optional<QString> &previous);

} // namespace lumarient
