#include "api/TargetName.h"

#include "api/BusNames.h"
#include "model/DeviceSelection.h"

#include <QStringList>

namespace lumarient {
namespace {

bool same(const QString &given, const QString &known)
{
    return !known.isEmpty() && given.compare(known.trimmed(), Qt::CaseInsensitive) == 0;
}

bool nameMatches(const MenuState &state, const DeviceConfig &config, const QString &given)
{
    if (same(given, config.name) || same(given, config.modelPattern) ||
        (!config.id.isNull() && QUuid::fromString(given) == config.id))
        return true;
    for (const ConnectedDevice &device : state.devices) {
        if (matches(config, device.model) &&
            (same(given, device.serial) || same(given, displayName(state.configs, device))))
            return true;
    }
    return false;
}

// Names come from callers: a long one is shortened in messages.
QString quoted(const QString &text)
{
    constexpr int longest = 80;
    return QLatin1Char('"') + (text.size() > longest ? text.left(longest) + QStringLiteral("…") : text) +
           QLatin1Char('"');
}

} // namespace

NamedTarget findTarget(const MenuState &state, const QString &name)
{
    const QString given = name.trimmed();
    QList<const DeviceConfig *> found;
    if (!given.isEmpty()) {
        for (const DeviceConfig &config : state.configs) {
            if (nameMatches(state, config, given))
                found.append(&config);
        }
    }
    if (found.size() == 1)
        return {found.front()->id, {}, {}};

    QStringList known;
    for (const DeviceConfig *config : found)
        known.append(quoted(config->name) + QStringLiteral(" (") + config->id.toString(QUuid::WithoutBraces) +
                     QLatin1Char(')'));
    if (!found.isEmpty()) {
        return {std::nullopt, bus::ambiguousNameError(),
                quoted(given) + QStringLiteral(" matches more than one phone: ") + known.join(QStringLiteral(", ")) +
                    QStringLiteral("; name one by its id or serial")};
    }
    for (const DeviceConfig &config : state.configs)
        known.append(quoted(config.name));
    const QString message = quoted(given) + QStringLiteral(" names no phone");
    return {std::nullopt, bus::unknownNameError(),
            known.isEmpty() ? message + QStringLiteral(": no phone has been set up yet")
                            : message + QStringLiteral("; known: ") + known.join(QStringLiteral(", "))};
}

} // namespace lumarient
