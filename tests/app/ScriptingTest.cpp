// lumarient-cli and the session-bus service, against the real app on a bus of
// the test's own, with simulated phones as adb and scrcpy.

#include "RunningApp.h"
#include "api/BusNames.h"
#include "cli/StateText.h"
#include "support/EventLoop.h"
#include "support/PhoneSim.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <memory>

namespace lumarient::test {
namespace {

const QString serial = QStringLiteral("R58M123ABC");

// Keeps every state the app's StateChanged signal carried.
class StateRecorder : public QObject {
    Q_OBJECT
public:
    bool sawSession(const QString &session) const
    {
        for (const QVariantMap &state : states_) {
            const QVariantList configurations = state.value(QStringLiteral("configurations")).toList();
            if (!configurations.isEmpty() &&
                configurations.front().toMap().value(QStringLiteral("session")).toString() == session)
                return true;
        }
        return false;
    }

public slots:
    void record(const QVariantMap &state) { states_.append(cli::plainState(state)); }

private:
    QList<QVariantMap> states_;
};

class Scripting : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus_.running());
        sim_.addPhone(makePhone(serial, QStringLiteral("SM_G973F")));
        app_ = std::make_unique<RunningApp>(
            RunningApp::Options{.adbPath = sim_.adbPath(), .scrcpyPath = sim_.scrcpyPath(), .bus = &bus_});
        ASSERT_TRUE(app_->waitForLine("[Lumarient] started\n")) << app_->output().toStdString();
        connection_ = std::make_unique<QDBusConnection>(bus_.connect(QStringLiteral("scripting-test")));
        // The phone becomes a configuration at the first refresh.
        ASSERT_TRUE(waitForState([](const QVariantMap &state) {
            return !state.value(QStringLiteral("configurations")).toList().isEmpty();
        })) << app_->output().toStdString();
        configName_ = configuration().value(QStringLiteral("name")).toString();
    }
    void TearDown() override
    {
        if (app_) {
            app_->signal(SIGTERM);
            app_->waitForExit(5000);
        }
    }

    QDBusMessage call(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage request =
            QDBusMessage::createMethodCall(bus::serviceName(), bus::objectPath(), bus::interfaceName(), method);
        request.setArguments(arguments);
        return connection_->call(request);
    }
    QVariantMap state()
    {
        const QDBusMessage reply = call(QStringLiteral("GetState"));
        return reply.type() == QDBusMessage::ReplyMessage ? cli::plainState(reply.arguments().value(0)) : QVariantMap();
    }
    bool waitForState(const std::function<bool(const QVariantMap &)> &holds)
    {
        return spinUntil([&] { return holds(state()); }, std::chrono::seconds(20));
    }
    QVariantMap configuration() { return state().value(QStringLiteral("configurations")).toList().value(0).toMap(); }
    CliRun cli(const QStringList &arguments) { return runCli(&bus_, arguments); }

    PrivateBus bus_;
    PhoneSim sim_;
    std::unique_ptr<RunningApp> app_;
    std::unique_ptr<QDBusConnection> connection_;
    QString configName_;
};

TEST_F(Scripting, DevicesAndStatusShowTheSimulatedPhone)
{
    const CliRun devices = cli({QStringLiteral("devices"), QStringLiteral("--json")});
    ASSERT_EQ(devices.exitCode, 0) << devices.err.toStdString();
    const QJsonArray phones = QJsonDocument::fromJson(devices.out).array();
    ASSERT_EQ(phones.size(), 1) << devices.out.toStdString();
    EXPECT_EQ(phones[0][QStringLiteral("serial")].toString(), serial);

    const CliRun text = cli({QStringLiteral("status")});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.contains((configName_ + QStringLiteral(" — USB\n")).toUtf8())) << text.out.toStdString();
}

TEST_F(Scripting, MirrorStartsScrcpyAndStopEndsIt)
{
    StateRecorder recorder;
    ASSERT_TRUE(connection_->connect(bus::serviceName(), bus::objectPath(), bus::interfaceName(),
                                     QStringLiteral("StateChanged"), &recorder, SLOT(record(QVariantMap))));

    // Any case of the configuration's name will do.
    const CliRun mirror = cli({QStringLiteral("mirror"), configName_.toUpper()});
    ASSERT_EQ(mirror.exitCode, 0) << mirror.err.toStdString() << app_->output().toStdString();
    ASSERT_TRUE(spinUntil([&] { return !sim_.scrcpyRuns().isEmpty(); }));
    EXPECT_TRUE(sim_.scrcpyRuns().front().contains(serial)) << sim_.scrcpyRuns().front().join(' ').toStdString();
    EXPECT_EQ(configuration().value(QStringLiteral("session")).toString(), QStringLiteral("mirror"));
    EXPECT_TRUE(spinUntil([&] { return recorder.sawSession(QStringLiteral("mirror")); }))
        << "no StateChanged signal carried the session";

    // The menu offers no second start while it runs: the call says why.
    const CliRun again = cli({QStringLiteral("mirror"), configName_});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("Mirror running")) << again.err.toStdString();

    // By the phone's serial this time.
    const CliRun stop = cli({QStringLiteral("stop"), serial.toLower()});
    ASSERT_EQ(stop.exitCode, 0) << stop.err.toStdString();
    EXPECT_TRUE(waitForState([](const QVariantMap &state) {
        const QVariantMap configuration = state.value(QStringLiteral("configurations")).toList().value(0).toMap();
        return configuration.value(QStringLiteral("session")).toString().isEmpty();
    })) << "the scrcpy stand-in did not end";
    EXPECT_EQ(cli({QStringLiteral("stop"), serial}).exitCode, 1) << "nothing runs to stop";
}

TEST_F(Scripting, BadNamesAndArgumentsExitWithAUsageErrorOrAFailureAndSayWhy)
{
    struct Case {
        QStringList arguments;
        int exitCode;
        QByteArray message;
    };
    const QList<Case> cases = {
        {{QStringLiteral("mirror"), QStringLiteral("Nokia 3310")}, 2, "\"Nokia 3310\" names no phone"},
        {{QStringLiteral("frobnicate")}, 2, "unknown command frobnicate"},
        {{QStringLiteral("pair"), QStringLiteral("12 34; reboot")}, 2, "A pairing code is the digits"},
        {{QStringLiteral("pair"), QStringLiteral("123456")}, 1, "No phone is offering a pairing code"},
    };
    for (const Case &one : cases) {
        const CliRun run = cli(one.arguments);
        EXPECT_EQ(run.exitCode, one.exitCode) << one.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(one.message))
            << one.arguments.join(' ').toStdString() << ": " << run.err.toStdString();
    }
    // The JSON form carries the same message.
    const CliRun json = cli({QStringLiteral("--json"), QStringLiteral("mirror"), QStringLiteral("Nokia")});
    EXPECT_EQ(json.exitCode, 2);
    const QJsonObject answer = QJsonDocument::fromJson(json.out).object();
    EXPECT_FALSE(answer[QStringLiteral("ok")].toBool(true));
    EXPECT_TRUE(answer[QStringLiteral("error")].toString().contains(QStringLiteral("names no phone")))
        << json.out.toStdString();
    EXPECT_TRUE(sim_.scrcpyRuns().isEmpty());
}

TEST_F(Scripting, MalformedCallsAreRefusedAndTheAppCarriesOn)
{
    const QString hostile = QString(200000, QLatin1Char('x')) + QStringLiteral("\x01\n\u202e");
    const QList<std::pair<QString, QVariantList>> calls = {
        {QStringLiteral("Mirror"), {42}},
        {QStringLiteral("Mirror"), {}},
        {QStringLiteral("Mirror"), {configName_, configName_}},
        {QStringLiteral("Stop"), {QVariant::fromValue(QStringList{configName_})}},
        {QStringLiteral("Pair"), {QStringLiteral("123456")}},
        {QStringLiteral("Pair"), {hostile, hostile}},
        {QStringLiteral("Desktop"), {hostile}},
        {QStringLiteral("GetState"), {true}},
        {QStringLiteral("Reboot"), {}},
    };
    for (const auto &[method, arguments] : calls) {
        const QDBusMessage reply = call(method, arguments);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << method.toStdString();
    }
    EXPECT_EQ(app_->process().state(), QProcess::Running) << app_->output().toStdString();
    EXPECT_EQ(state().value(QStringLiteral("phones")).toList().size(), 1);
    EXPECT_TRUE(sim_.scrcpyRuns().isEmpty());
}

TEST_F(Scripting, QuitEndsTheApp)
{
    const CliRun quit = cli({QStringLiteral("quit")});
    EXPECT_EQ(quit.exitCode, 0) << quit.err.toStdString();
    ASSERT_TRUE(app_->waitForExit(10000));
    EXPECT_EQ(app_->process().exitCode(), 0);
}

TEST(ScriptingWithoutApp, EveryCommandExitsThreeWhenNoAppOrNoBusAnswers)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.running());
    for (const PrivateBus *where : {static_cast<const PrivateBus *>(&bus), static_cast<const PrivateBus *>(nullptr)}) {
        for (const QStringList &arguments :
             {QStringList{QStringLiteral("devices")}, QStringList{QStringLiteral("--json"), QStringLiteral("status")},
              QStringList{QStringLiteral("mirror"), QStringLiteral("Pixel")}}) {
            const CliRun run = runCli(where, arguments);
            EXPECT_EQ(run.exitCode, 3) << arguments.join(' ').toStdString() << (where ? " (bus)" : " (no bus)");
            if (where) {
                EXPECT_TRUE((run.err + run.out).contains("Lumarient is not running")) << run.err.toStdString();
            }
        }
    }
    // Help and version need no app.
    EXPECT_EQ(runCli(nullptr, {QStringLiteral("--help")}).exitCode, 0);
    const CliRun version = runCli(nullptr, {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("lumarient-cli ")) << version.out.toStdString();
}

} // namespace
} // namespace lumarient::test

#include "ScriptingTest.moc"
