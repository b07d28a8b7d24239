#include "api/BusState.h"

#include "model/DeviceSelection.h"

namespace lumarient {
namespace {

using Kind = MenuAction::Kind;

QString stateName(DeviceState state)
{
    switch (state) {
    case DeviceState::ready:
        return QStringLiteral("ready");
    case DeviceState::unauthorized:
        return QStringLiteral("unauthorized");
    case DeviceState::offline:
        break;
    }
    return QStringLiteral("offline");
}

QString sessionName(SessionKind kind)
{
    switch (kind) {
    case SessionKind::desktop:
        return QStringLiteral("desktop");
    case SessionKind::virtualDesktop:
        return QStringLiteral("virtualDesktop");
    case SessionKind::mirror:
        break;
    }
    return QStringLiteral("mirror");
}

QVariantMap phoneEntry(const MenuState &state, const ConnectedDevice &device)
{
    return {
        {QStringLiteral("serial"), device.serial},
        {QStringLiteral("model"), device.model},
        {QStringLiteral("name"), displayName(state.configs, device)},
        {QStringLiteral("connection"), device.isWifi ? QStringLiteral("Wi-Fi") : QStringLiteral("USB")},
        {QStringLiteral("state"), stateName(device.state)},
    };
}

std::optional<SessionKind> sessionOf(const MenuState &state, const DeviceConfig &config)
{
    const auto running = state.runningSessions.constFind(config.id);
    return running == state.runningSessions.cend() ? std::nullopt : std::optional<SessionKind>(*running);
}

QVariantMap configurationEntry(const MenuState &state, const QList<MenuEntry> &menu, const DeviceConfig &config)
{
    const std::optional<ConnectedDevice> device = connectedDevice(state.devices, config);
    const std::optional<SessionKind> session = sessionOf(state, config);
    return {
        {QStringLiteral("id"), config.id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("name"), config.name},
        {QStringLiteral("model"), config.modelPattern},
        {QStringLiteral("serial"), device ? device->serial : QString()},
        {QStringLiteral("status"), configurationStatus(state, config)},
        {QStringLiteral("session"), session ? sessionName(*session) : QString()},
        {QStringLiteral("secondDisplay"), device && state.secondDisplayActiveSerial == device->serial},
        {QStringLiteral("keyboardMouse"), state.keyboardMouseActiveConfigIDs.contains(config.id)},
        {QStringLiteral("actions"), offeredActions(menu, config.id)},
    };
}

} // namespace

QString configurationStatus(const MenuState &state, const DeviceConfig &config)
{
    const std::optional<ConnectedDevice> device = connectedDevice(state.devices, config);
    const bool wifiStandby = device && !device->isWifi && wifiDevice(state.devices, config).has_value();
    return deviceStatusText(device, sessionOf(state, config), wifiStandby);
}

QString busActionName(MenuAction::Kind kind)
{
    switch (kind) {
    case Kind::startDesktop:
        return QStringLiteral("Desktop");
    case Kind::startVirtualDesktop:
        return QStringLiteral("InvisibleDesktop");
    case Kind::startMirror:
        return QStringLiteral("Mirror");
    case Kind::startSecondDisplay:
        return QStringLiteral("SecondDisplay");
    case Kind::startKeyboardMouse:
        return QStringLiteral("KeyboardMouse");
    case Kind::switchToWifi:
        return QStringLiteral("SwitchToWifi");
    case Kind::stopSession:
    case Kind::stopSecondDisplay:
    case Kind::stopKeyboardMouse:
        return QStringLiteral("Stop");
    default:
        return QString();
    }
}

QStringList offeredActions(const QList<MenuEntry> &menu, const QUuid &configID)
{
    QStringList names;
    for (const MenuEntry &entry : menu) {
        if (entry.kind != MenuEntry::Kind::button || !entry.enabled || entry.action.configID != configID)
            continue;
        const QString name = busActionName(entry.action.kind);
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

QVariantMap busState(const MenuState &state, const QList<DiscoveredService> &pairingCandidates)
{
    const QList<MenuEntry> menu = buildMenu(state);
    QList<QVariantMap> phones;
    for (const ConnectedDevice &device : state.devices)
        phones.append(phoneEntry(state, device));
    QList<QVariantMap> configurations;
    for (const DeviceConfig &config : state.configs)
        configurations.append(configurationEntry(state, menu, config));
    QStringList candidates;
    for (const DiscoveredService &service : pairingCandidates)
        candidates.append(service.name);
    QStringList errors;
    for (const std::optional<QString> &error : {state.lastError, state.keyboardMouseError, state.secondDisplayError}) {
        if (error)
            errors.append(*error);
    }
    return {
        {QStringLiteral("phones"), QVariant::fromValue(phones)},
        {QStringLiteral("configurations"), QVariant::fromValue(configurations)},
        {QStringLiteral("secondDisplaySerial"), state.secondDisplayActiveSerial.value_or(QString())},
        {QStringLiteral("waitingForApproval"), !pendingDevices(state.devices).isEmpty()},
        {QStringLiteral("scanning"), state.lanScanInProgress},
        {QStringLiteral("pairingCandidates"), candidates},
        {QStringLiteral("errors"), errors},
    };
}

} // namespace lumarient
