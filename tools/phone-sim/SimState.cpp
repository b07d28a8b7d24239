#include "SimState.h"

#include <QJsonArray>

namespace phonesim {
namespace {

QJsonObject mapToJson(const QMap<QString, QString> &map)
{
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QMap<QString, QString> mapFromJson(const QJsonValue &value)
{
    QMap<QString, QString> map;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), it.value().toString());
    return map;
}

QJsonObject displayToJson(const SimDisplay &display)
{
    return {{"id", display.id},         {"uniqueId", display.uniqueId}, {"width", display.width},
            {"height", display.height}, {"density", display.density},   {"windowingMode", display.windowingMode}};
}

SimDisplay displayFromJson(const QJsonObject &object)
{
    SimDisplay display;
    display.id = object.value("id").toInt();
    display.uniqueId = object.value("uniqueId").toString();
    display.width = object.value("width").toInt();
    display.height = object.value("height").toInt();
    display.density = object.value("density").toInt();
    display.windowingMode = object.value("windowingMode").toInt();
    return display;
}

QJsonObject packagesToJson(const QMap<QString, int> &packages)
{
    QJsonObject object;
    for (auto it = packages.cbegin(); it != packages.cend(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QStringList stringsFromJson(const QJsonValue &value)
{
    QStringList strings;
    for (const QJsonValue &entry : value.toArray())
        strings.append(entry.toString());
    return strings;
}

} // namespace

QJsonObject SimPhone::toJson() const
{
    QJsonArray displayArray;
    for (const SimDisplay &display : displays)
        displayArray.append(displayToJson(display));
    return {{"usbSerial", usbSerial},
            {"model", model},
            {"product", product},
            {"device", device},
            {"state", state},
            {"usbAttached", usbAttached},
            {"props", mapToJson(props)},
            {"settings", mapToJson(settings)},
            {"deviceConfig", mapToJson(deviceConfig)},
            {"wlanAddress", wlanAddress},
            {"tcpipPort", tcpipPort},
            {"screenWidth", screenWidth},
            {"screenHeight", screenHeight},
            {"screenDensity", screenDensity},
            {"displayInfoInDump", displayInfoInDump},
            {"overlayAppearsAfterPolls", overlayAppearsAfterPolls},
            {"overlayPollsLeft", overlayPollsLeft},
            {"displays", displayArray},
            {"nextDisplayId", nextDisplayId},
            {"packages", packagesToJson(packages)},
            {"grantedPermissions", QJsonArray::fromStringList(grantedPermissions)},
            {"reversedPorts", QJsonArray::fromStringList(reversedPorts)},
            {"companionSession", companionSession},
            {"displayReceiver", displayReceiver}};
}

SimPhone SimPhone::fromJson(const QJsonObject &object)
{
    SimPhone phone;
    phone.usbSerial = object.value("usbSerial").toString();
    phone.model = object.value("model").toString();
    phone.product = object.value("product").toString(phone.product);
    phone.device = object.value("device").toString(phone.device);
    phone.state = object.value("state").toString(phone.state);
    phone.usbAttached = object.value("usbAttached").toBool(true);
    phone.props = mapFromJson(object.value("props"));
    phone.settings = mapFromJson(object.value("settings"));
    phone.deviceConfig = mapFromJson(object.value("deviceConfig"));
    phone.wlanAddress = object.value("wlanAddress").toString();
    phone.tcpipPort = object.value("tcpipPort").toInt();
    phone.screenWidth = object.value("screenWidth").toInt(phone.screenWidth);
    phone.screenHeight = object.value("screenHeight").toInt(phone.screenHeight);
    phone.screenDensity = object.value("screenDensity").toInt(phone.screenDensity);
    phone.displayInfoInDump = object.value("displayInfoInDump").toBool(true);
    phone.overlayAppearsAfterPolls = object.value("overlayAppearsAfterPolls").toInt(phone.overlayAppearsAfterPolls);
    phone.overlayPollsLeft = object.value("overlayPollsLeft").toInt(-1);
    for (const QJsonValue &display : object.value("displays").toArray())
        phone.displays.append(displayFromJson(display.toObject()));
    phone.nextDisplayId = object.value("nextDisplayId").toInt(phone.nextDisplayId);
    const QJsonObject packages = object.value("packages").toObject();
    for (auto it = packages.begin(); it != packages.end(); ++it)
        phone.packages.insert(it.key(), it.value().toInt());
    phone.grantedPermissions = stringsFromJson(object.value("grantedPermissions"));
    phone.reversedPorts = stringsFromJson(object.value("reversedPorts"));
    phone.companionSession = object.value("companionSession").toString();
    phone.displayReceiver = object.value("displayReceiver").toString();
    return phone;
}

QJsonObject SimRule::toJson() const
{
    return {{"tool", tool},      {"serial", serial},     {"commandPrefix", commandPrefix},
            {"output", output},  {"exitCode", exitCode}, {"times", times},
            {"sleepMs", sleepMs}};
}

SimRule SimRule::fromJson(const QJsonObject &object)
{
    SimRule rule;
    rule.tool = object.value("tool").toString(rule.tool);
    rule.serial = object.value("serial").toString(rule.serial);
    rule.commandPrefix = object.value("commandPrefix").toString();
    rule.output = object.value("output").toString();
    rule.exitCode = object.value("exitCode").toInt();
    rule.times = object.value("times").toInt(-1);
    rule.sleepMs = object.value("sleepMs").toInt();
    return rule;
}

QJsonObject SimScrcpyScript::toJson() const
{
    return {{"output", output},
            {"exitAfterMs", exitAfterMs},
            {"exitCode", exitCode},
            {"exitsWhenUnplugged", exitsWhenUnplugged}};
}

SimScrcpyScript SimScrcpyScript::fromJson(const QJsonObject &object)
{
    SimScrcpyScript script;
    script.output = object.value("output").toString();
    script.exitAfterMs = object.value("exitAfterMs").toInt(-1);
    script.exitCode = object.value("exitCode").toInt();
    script.exitsWhenUnplugged = object.value("exitsWhenUnplugged").toBool(true);
    return script;
}

QJsonObject SimState::toJson() const
{
    QJsonArray phoneArray;
    for (const SimPhone &phone : phones)
        phoneArray.append(phone.toJson());
    QJsonArray ruleArray;
    for (const SimRule &rule : rules)
        ruleArray.append(rule.toJson());
    return {{"serverRunning", serverRunning},
            {"phones", phoneArray},
            {"wifiConnections", QJsonArray::fromStringList(wifiConnections)},
            {"pairingCodes", mapToJson(pairingCodes)},
            {"rules", ruleArray},
            {"scrcpy", scrcpy.toJson()}};
}

SimState SimState::fromJson(const QJsonObject &object)
{
    SimState state;
    state.serverRunning = object.value("serverRunning").toBool(true);
    for (const QJsonValue &phone : object.value("phones").toArray())
        state.phones.append(SimPhone::fromJson(phone.toObject()));
    for (const QJsonValue &endpoint : object.value("wifiConnections").toArray())
        state.wifiConnections.append(endpoint.toString());
    state.pairingCodes = mapFromJson(object.value("pairingCodes"));
    for (const QJsonValue &rule : object.value("rules").toArray())
        state.rules.append(SimRule::fromJson(rule.toObject()));
    state.scrcpy = SimScrcpyScript::fromJson(object.value("scrcpy").toObject());
    return state;
}

QJsonObject SimInvocation::toJson() const
{
    return {
        {"tool", tool}, {"arguments", QJsonArray::fromStringList(arguments)}, {"environment", mapToJson(environment)}};
}

SimInvocation SimInvocation::fromJson(const QJsonObject &object)
{
    SimInvocation invocation;
    invocation.tool = object.value("tool").toString();
    for (const QJsonValue &argument : object.value("arguments").toArray())
        invocation.arguments.append(argument.toString());
    invocation.environment = mapFromJson(object.value("environment"));
    return invocation;
}

} // namespace phonesim
