#include "api/BusNames.h"
#include "api/BusState.h"
#include "api/TargetName.h"
#include "cli/CliCommand.h"
#include "cli/StateText.h"
#include "support/Devices.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;

namespace {

// Two phones of different models, one of them also on Wi-Fi, and a third
// configuration whose phone is away.
struct Household {
    DeviceConfig galaxy = makeConfig(QStringLiteral("Galaxy"), QStringLiteral("SM_G973F"));
    DeviceConfig pixel{QUuid::createUuid(),
                       QStringLiteral("Pixel 9"),
                       QStringLiteral("Pixel_9"),
                       0,
                       DeviceConfig::defaultResolution(),
                       false,
                       true};
    DeviceConfig tablet = makeConfig(QStringLiteral("Tab"), QStringLiteral("SM_X200"));
    MenuState state;

    Household()
    {
        state.configs = {galaxy, pixel, tablet};
        state.devices = {phone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F")),
                         phone(QStringLiteral("192.168.1.23:5555"), QStringLiteral("SM_G973F")),
                         phone(QStringLiteral("39121FDJH00"), QStringLiteral("Pixel_9"))};
    }
};

} // namespace

TEST(TargetName, FindsTheOneConfigurationANameMeans)
{
    Household home;
    const struct {
        QString name;
        std::optional<QUuid> expected;
        QString errorName;
    } cases[] = {
        {QStringLiteral("galaxy"), home.galaxy.id, {}},
        {QStringLiteral("  PIXEL 9 "), home.pixel.id, {}},
        {QStringLiteral("r58m123abc"), home.galaxy.id, {}},
        {QStringLiteral("192.168.1.23:5555"), home.galaxy.id, {}},
        {QStringLiteral("pixel_9"), home.pixel.id, {}},
        {home.tablet.id.toString(QUuid::WithoutBraces).toUpper(), home.tablet.id, {}},
        // A configuration without its phone is still named; the action then says why it cannot run.
        {QStringLiteral("tab"), home.tablet.id, {}},
        {QStringLiteral("Nokia"), std::nullopt, bus::unknownNameError()},
        {QString(), std::nullopt, bus::unknownNameError()},
        {QStringLiteral("Pixel"), std::nullopt, bus::unknownNameError()},
    };
    for (const auto &one : cases) {
        const NamedTarget target = findTarget(home.state, one.name);
        EXPECT_EQ(target.configID, one.expected) << one.name.toStdString();
        EXPECT_EQ(target.errorName, one.errorName) << one.name.toStdString();
        if (!one.expected) {
            EXPECT_TRUE(target.message.contains(QStringLiteral("\"Galaxy\""))) << target.message.toStdString();
        }
    }
}

TEST(TargetName, TwoConfigurationsOfOneNameAreAmbiguousNotGuessed)
{
    Household home;
    home.state.configs[2].name = QStringLiteral("GALAXY");
    const NamedTarget target = findTarget(home.state, QStringLiteral("Galaxy"));
    EXPECT_FALSE(target.configID);
    EXPECT_EQ(target.errorName, bus::ambiguousNameError());
    EXPECT_TRUE(target.message.contains(home.galaxy.id.toString(QUuid::WithoutBraces))) << target.message.toStdString();
    // Its id still names it exactly, with or without braces.
    EXPECT_EQ(findTarget(home.state, home.tablet.id.toString()).configID, home.tablet.id);
    EXPECT_EQ(findTarget(home.state, home.tablet.id.toString(QUuid::WithoutBraces)).configID, home.tablet.id);
}

TEST(TargetName, AHugeNameIsShortenedInTheMessage)
{
    Household home;
    const NamedTarget target = findTarget(home.state, QString(100000, QLatin1Char('x')));
    EXPECT_EQ(target.errorName, bus::unknownNameError());
    EXPECT_LT(target.message.size(), 400);
}

TEST(BusState, OffersWhatTheMenuOffersPerPhone)
{
    Household home;
    const auto actions = [&](const MenuState &state, const DeviceConfig &config) {
        return busState(state, {})
            .value(QStringLiteral("configurations"))
            .value<QList<QVariantMap>>()
            .at(int(state.configs.indexOf(config)))
            .value(QStringLiteral("actions"))
            .toStringList();
    };
    // The Galaxy is on Wi-Fi standby already, so it is not offered Wi-Fi again.
    EXPECT_EQ(actions(home.state, home.galaxy), (QStringList{"Desktop", "Mirror", "SecondDisplay", "KeyboardMouse"}));
    EXPECT_EQ(actions(home.state, home.pixel),
              (QStringList{"Desktop", "InvisibleDesktop", "Mirror", "SecondDisplay", "KeyboardMouse", "SwitchToWifi"}));
    EXPECT_TRUE(actions(home.state, home.tablet).isEmpty());

    MenuState busy = home.state;
    busy.secondDisplayActiveSerial = QStringLiteral("R58M123ABC");
    busy.runningSessions.insert(home.pixel.id, SessionKind::mirror);
    EXPECT_EQ(actions(busy, home.galaxy), QStringList{"Stop"});
    EXPECT_EQ(actions(busy, home.pixel), QStringList{"Stop"});
    busy.runningSessions.clear();
    EXPECT_TRUE(actions(busy, home.pixel).isEmpty()) << "the second display is busy on another phone";
}

TEST(BusState, CarriesStatusSessionsAndErrors)
{
    Household home;
    home.state.devices.append(phone(QStringLiteral("NEWONE"), QStringLiteral("Moto_G"), DeviceState::unauthorized));
    home.state.runningSessions.insert(home.pixel.id, SessionKind::virtualDesktop);
    home.state.keyboardMouseActiveConfigIDs.insert(home.galaxy.id);
    home.state.keyboardMouseError = QStringLiteral("The phone's input server did not start");
    const QVariantMap state = busState(home.state, {{QStringLiteral("adb-X"), QStringLiteral("adb-X"), {}, 0}});

    const QList<QVariantMap> configurations = state.value(QStringLiteral("configurations")).value<QList<QVariantMap>>();
    ASSERT_EQ(configurations.size(), 3);
    EXPECT_EQ(configurations[0].value(QStringLiteral("status")).toString(), QStringLiteral("USB, Wi-Fi standby"));
    EXPECT_TRUE(configurations[0].value(QStringLiteral("keyboardMouse")).toBool());
    EXPECT_EQ(configurations[1].value(QStringLiteral("session")).toString(), QStringLiteral("virtualDesktop"));
    EXPECT_EQ(configurations[1].value(QStringLiteral("status")).toString(),
              QStringLiteral("USB, Desktop (invisible) running"));
    EXPECT_EQ(configurations[2].value(QStringLiteral("serial")).toString(), QString());

    const QList<QVariantMap> phones = state.value(QStringLiteral("phones")).value<QList<QVariantMap>>();
    ASSERT_EQ(phones.size(), 4);
    EXPECT_EQ(phones[0].value(QStringLiteral("connection")).toString(), QStringLiteral("USB"));
    EXPECT_EQ(phones[0].value(QStringLiteral("state")).toString(), QStringLiteral("ready"));
    EXPECT_EQ(phones[1].value(QStringLiteral("connection")).toString(), QStringLiteral("Wi-Fi"));
    EXPECT_EQ(phones[1].value(QStringLiteral("name")).toString(), QStringLiteral("Galaxy"));
    EXPECT_EQ(phones[3].value(QStringLiteral("name")).toString(), QStringLiteral("Moto G"));
    EXPECT_EQ(phones[3].value(QStringLiteral("state")).toString(), QStringLiteral("unauthorized"));
    EXPECT_TRUE(state.value(QStringLiteral("waitingForApproval")).toBool());
    EXPECT_EQ(state.value(QStringLiteral("errors")).toStringList(), QStringList{*home.state.keyboardMouseError});
    EXPECT_EQ(state.value(QStringLiteral("pairingCandidates")).toStringList(), QStringList{"adb-X"});

    // What the command line prints from it.
    const QVariantMap plain = cli::plainState(state);
    const QString status = cli::statusText(plain);
    EXPECT_TRUE(status.startsWith(QStringLiteral("⏳ Phone waiting for approval"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("Galaxy — USB, Wi-Fi standby, keyboard & mouse\n")));
    EXPECT_TRUE(status.contains(QStringLiteral("Tab — not connected\n")));
    EXPECT_TRUE(status.contains(QStringLiteral("⚠️ The phone's input server did not start\n")));
    EXPECT_TRUE(cli::devicesText(plain).contains(QStringLiteral("Moto G  NEWONE  USB  unauthorized\n")));
}

TEST(CliCommand, ReadsEachCommandLine)
{
    using Kind = cli::CliCommand::Kind;
    const struct {
        QStringList arguments;
        Kind kind;
        QString method;
        QVariantList callArguments;
        bool json;
    } cases[] = {
        {{"devices", "--json"}, Kind::devices, {}, {}, true},
        {{"--json", "status"}, Kind::status, {}, {}, true},
        {{"mirror", "Galaxy", "S10"}, Kind::call, "Mirror", {"Galaxy S10"}, false},
        {{"stop", "R58M123ABC"}, Kind::call, "Stop", {"R58M123ABC"}, false},
        {{"wifi", "Pixel"}, Kind::call, "SwitchToWifi", {"Pixel"}, false},
        {{"display", "Pixel"}, Kind::call, "SecondDisplay", {"Pixel"}, false},
        {{"keyboard", "Pixel"}, Kind::call, "KeyboardMouse", {"Pixel"}, false},
        {{"pair", "123456"}, Kind::call, "Pair", {"123456", ""}, false},
        {{"pair", "123456", "adb-X"}, Kind::call, "Pair", {"123456", "adb-X"}, false},
        {{"quit"}, Kind::call, "Quit", {}, false},
        {{"scan", "--json"}, Kind::call, "Scan", {}, true},
        {{"mirror", "--help"}, Kind::help, {}, {}, false},
        {{"--version"}, Kind::version, {}, {}, false},
        {{}, Kind::usageError, {}, {}, false},
        {{"mirror"}, Kind::usageError, {}, {}, false},
        {{"display", "  "}, Kind::usageError, {}, {}, false},
        {{"devices", "extra"}, Kind::usageError, {}, {}, false},
        {{"quit", "now"}, Kind::usageError, {}, {}, false},
        {{"pair"}, Kind::usageError, {}, {}, false},
        {{"pair", "1", "2", "3"}, Kind::usageError, {}, {}, false},
        {{"--verbose", "status"}, Kind::usageError, {}, {}, false},
        {{"reboot"}, Kind::usageError, {}, {}, false},
    };
    for (const auto &one : cases) {
        const cli::CliCommand command = cli::parseCommand(one.arguments);
        const std::string line = one.arguments.join(' ').toStdString();
        EXPECT_EQ(command.kind, one.kind) << line;
        EXPECT_EQ(command.method, one.method) << line;
        EXPECT_EQ(command.arguments, one.callArguments) << line;
        if (one.kind != Kind::usageError && one.kind != Kind::help) {
            EXPECT_EQ(command.json, one.json) << line;
        }
        EXPECT_EQ(command.problem.isEmpty(), one.kind != Kind::usageError) << line;
    }
    // A name may itself look like an option once the command has begun.
    EXPECT_EQ(cli::parseCommand({"mirror", "-5"}).arguments, QVariantList{"-5"});
}

TEST(CliCommand, BusErrorsBecomeExitCodes)
{
    EXPECT_EQ(cli::exitCodeForError(QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")), cli::exitNotRunning);
    EXPECT_EQ(cli::exitCodeForError(bus::unknownNameError()), cli::exitUsage);
    EXPECT_EQ(cli::exitCodeForError(bus::ambiguousNameError()), cli::exitUsage);
    EXPECT_EQ(cli::exitCodeForError(bus::invalidArgumentsError()), cli::exitUsage);
    EXPECT_EQ(cli::exitCodeForError(bus::notAvailableError()), cli::exitFailed);
    EXPECT_EQ(cli::exitCodeForError(bus::failedError()), cli::exitFailed);
    EXPECT_EQ(cli::exitCodeForError(QStringLiteral("org.freedesktop.DBus.Error.NoReply")), cli::exitFailed);
}
