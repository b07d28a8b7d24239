#include "api/BusService.h"

#include "api/BusNames.h"
#include "api/BusState.h"
#include "api/TargetName.h"
#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "input/SeamlessInputManager.h"
#include "model/DeviceSelection.h"
#include "platform/Log.h"
#include "ui/MenuActions.h"
#include "wireless/WirelessConnector.h"

#include <QDBusMessage>
#include <QDBusMetaType>

#include <algorithm>
#include <type_traits>

namespace lumarient {
namespace {

using Kind = MenuAction::Kind;

std::optional<MenuEntry> offeredEntry(const QList<MenuEntry> &menu, const QUuid &configID,
                                      std::initializer_list<Kind> kinds)
{
    for (const MenuEntry &entry : menu) {
        if (entry.kind == MenuEntry::Kind::button && entry.enabled && entry.action.configID == configID &&
            std::find(kinds.begin(), kinds.end(), entry.action.kind) != kinds.end())
            return entry;
    }
    return std::nullopt;
}

// The failure texts the menu would show, in its order.
QStringList errorsOf(const MenuState &state)
{
    QStringList errors;
    for (const std::optional<QString> &error : {state.lastError, state.keyboardMouseError, state.secondDisplayError})
        errors.append(error.value_or(QString()));
    return errors;
}

// A failure the action itself just reported: an error line that is new or changed.
std::optional<QString> newError(const QStringList &before, const QStringList &after)
{
    for (qsizetype index = 0; index < after.size(); ++index) {
        if (!after[index].isEmpty() && after[index] != before.value(index))
            return after[index];
    }
    return std::nullopt;
}

QString notOfferedMessage(const MenuState &state, const QUuid &configID, const QString &label)
{
    const auto config = std::find_if(state.configs.cbegin(), state.configs.cend(),
                                     [&](const DeviceConfig &candidate) { return candidate.id == configID; });
    if (config == state.configs.cend())
        return label + QStringLiteral(" isn't offered now");
    QString message = label + QStringLiteral(" isn't offered for ") + config->name + QStringLiteral(" now (") +
                      configurationStatus(state, *config) + QLatin1Char(')');
    const std::optional<ConnectedDevice> device = connectedDevice(state.devices, *config);
    if (device && state.secondDisplayActiveSerial && *state.secondDisplayActiveSerial != device->serial)
        message += QStringLiteral(": the second display is busy on another phone");
    return message;
}

bool sameText(const QString &given, const QString &known)
{
    return given.trimmed().compare(known, Qt::CaseInsensitive) == 0;
}

// A pairing code is a few letters or digits; anything else never reaches adb.
bool plausiblePairingCode(const QString &code)
{
    return !code.isEmpty() && code.size() <= 16 &&
           std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; });
}

} // namespace

BusService::BusService(MenuActions &actions, std::function<void()> bringForward, QObject *parent)
    : QObject(parent), actions_(actions), bringForward_(std::move(bringForward))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    // Every change of one event-loop turn becomes one signal.
    pendingPublish_.setSingleShot(true);
    pendingPublish_.setInterval(0);
    connect(&pendingPublish_, &QTimer::timeout, this, &BusService::publishIfChanged);
    actions_.sources().forEach([this](auto &source) {
        using Source = std::remove_reference_t<decltype(source)>;
        connect(&source, &Source::changed, &pendingPublish_, qOverload<>(&QTimer::start));
    });
    connect(&actions_.sources().wireless, &WirelessConnector::pairingCandidatesChanged, &pendingPublish_,
            qOverload<>(&QTimer::start));
    published_ = state();
}

bool BusService::registerOn(QDBusConnection bus)
{
    return bus.registerObject(bus::objectPath(), bus::interfaceName(), this,
                              QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals);
}

QVariantMap BusService::state() const
{
    return busState(actions_.menuState(), actions_.sources().wireless.pairingCandidates());
}

void BusService::publishIfChanged()
{
    QVariantMap current = state();
    if (current == published_)
        return;
    published_ = std::move(current);
    emit StateChanged(published_);
}

void BusService::fail(const QString &errorName, const QString &message)
{
    if (calledFromDBus())
        sendErrorReply(errorName, message);
}

QVariantMap BusService::GetState()
{
    return state();
}

void BusService::runFor(const QString &name, std::initializer_list<Kind> kinds, const QString &label)
{
    const MenuState before = actions_.menuState();
    const NamedTarget target = findTarget(before, name);
    if (!target.configID) {
        fail(target.errorName, target.message);
        return;
    }
    const std::optional<MenuEntry> entry = offeredEntry(buildMenu(before), *target.configID, kinds);
    if (!entry) {
        fail(bus::notAvailableError(), notOfferedMessage(before, *target.configID, label));
        return;
    }
    if (entry->action.kind == Kind::startKeyboardMouse && actions_.opensKeyboardMouseSetupInstead()) {
        actions_.trigger(entry->action);
        fail(bus::notAvailableError(),
             QStringLiteral("Keyboard & Mouse Setup… is open: go through it once, then start again"));
        return;
    }
    actions_.trigger(entry->action);
    if (const std::optional<QString> error = newError(errorsOf(before), errorsOf(actions_.menuState())))
        fail(bus::failedError(), *error);
}

void BusService::runGlobal(Kind kind, const QString &label)
{
    const QList<MenuEntry> menu = buildMenu(actions_.menuState());
    const bool offered = std::any_of(menu.cbegin(), menu.cend(), [&](const MenuEntry &entry) {
        return entry.kind == MenuEntry::Kind::button && entry.enabled && entry.action.kind == kind;
    });
    if (!offered) {
        fail(bus::notAvailableError(), label + QStringLiteral(" isn't offered now"));
        return;
    }
    actions_.trigger({kind, {}});
}

void BusService::Mirror(const QString &name)
{
    runFor(name, {Kind::startMirror}, QStringLiteral("Mirror Screen"));
}

void BusService::Desktop(const QString &name)
{
    runFor(name, {Kind::startDesktop}, QStringLiteral("Desktop Mode"));
}

void BusService::InvisibleDesktop(const QString &name)
{
    runFor(name, {Kind::startVirtualDesktop}, QStringLiteral("Desktop Mode (invisible)"));
}

void BusService::SecondDisplay(const QString &name)
{
    runFor(name, {Kind::startSecondDisplay}, QStringLiteral("Use as Second Display"));
}

void BusService::KeyboardMouse(const QString &name)
{
    runFor(name, {Kind::startKeyboardMouse}, QStringLiteral("Keyboard & Mouse Only"));
}

void BusService::SwitchToWifi(const QString &name)
{
    runFor(name, {Kind::switchToWifi}, QStringLiteral("Switch to Wi-Fi"));
}

void BusService::Stop(const QString &name)
{
    runFor(name, {Kind::stopSession, Kind::stopSecondDisplay, Kind::stopKeyboardMouse}, QStringLiteral("Stop"));
}

void BusService::Refresh()
{
    runGlobal(Kind::refresh, QStringLiteral("Refresh Devices"));
}

void BusService::Scan()
{
    runGlobal(Kind::scanNetwork, QStringLiteral("Scan Network for Devices (a scan is running)"));
}

void BusService::Pair(const QString &code, const QString &phone)
{
    const QString trimmedCode = code.trimmed();
    if (!plausiblePairingCode(trimmedCode)) {
        fail(bus::invalidArgumentsError(), QStringLiteral("A pairing code is the digits the phone shows"));
        return;
    }
    WirelessConnector &wireless = actions_.sources().wireless;
    QList<DiscoveredService> candidates = wireless.pairingCandidates();
    if (!phone.trimmed().isEmpty()) {
        candidates.removeIf([&](const DiscoveredService &service) {
            return !sameText(phone, service.name) && !sameText(phone, service.host);
        });
    }
    if (candidates.isEmpty()) {
        fail(bus::notAvailableError(),
             QStringLiteral("No phone is offering a pairing code: on the phone, open Wireless debugging and "
                            "choose Pair device with pairing code"));
        return;
    }
    if (candidates.size() > 1) {
        QStringList names;
        for (const DiscoveredService &service : candidates)
            names.append(service.name);
        fail(bus::ambiguousNameError(),
             QStringLiteral("More than one phone offers a pairing code: ") + names.join(QStringLiteral(", ")));
        return;
    }
    if (!calledFromDBus()) {
        wireless.pairAndConnect(candidates.front(), trimmedCode, this, [](const std::optional<QString> &) {});
        return;
    }
    setDelayedReply(true);
    wireless.pairAndConnect(candidates.front(), trimmedCode, this,
                            [bus = connection(), request = message()](const std::optional<QString> &failure) {
                                bus.send(failure ? request.createErrorReply(bus::failedError(), *failure)
                                                 : request.createReply());
                            });
}

void BusService::ShowWindow()
{
    logLine(QStringLiteral("Lumarient"), QStringLiteral("Asked over the session bus to come forward"));
    bringForward_();
}

void BusService::ShowSettings()
{
    runGlobal(Kind::openSettings, QStringLiteral("Settings…"));
}

void BusService::ShowSetupGuide()
{
    runGlobal(Kind::openSetupGuide, QStringLiteral("Setup Guide…"));
}

void BusService::ShowKeyboardMouseSetup()
{
    runGlobal(Kind::openKeyboardMouseSetup, QStringLiteral("Keyboard & Mouse Setup…"));
}

void BusService::CheckForUpdates()
{
    runGlobal(Kind::checkForUpdates, QStringLiteral("Check for Updates… (this build updates through its "
                                                    "distribution)"));
}

void BusService::Quit()
{
    // After this call's answer has gone out.
    QTimer::singleShot(0, this, [this] { actions_.trigger({Kind::quit, {}}); });
}

} // namespace lumarient
