#pragma once

#include "ui/MenuModel.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace lumarient {

// The configuration a name given on the bus stands for, or why there is none.
struct NamedTarget {
    std::optional<QUuid> configID;
    // With no configuration: the bus error to answer with, and its message.
    QString errorName;
    QString message;
};

// Finds the configuration `name` means: its name, id or phone model, or the
// serial or shown name of a phone listed for it, compared without regard to
// case or surrounding spaces. Several configurations matching is an error, never
// a guess.
NamedTarget findTarget(const MenuState &state, const QString &name);

} // namespace lumarient
