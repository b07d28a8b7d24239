#include "model/DeviceConfig.h"
#include "platform/UserDefaults.h"
#include "support/PhoneSim.h"
#include "support/TimeScale.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

// Starts the real executable headless with settings of its own.
class RunningApp {
public:
    explicit RunningApp(const QString &adbPath = QString(), const QString &configDir = QString())
    {
        const QString folder = configDir.isEmpty() ? config_.path() : configDir;
        if (!adbPath.isEmpty())
            lumarient::UserDefaults(folder + QStringLiteral("/Lumarient.conf"))
                .setValue(QStringLiteral("adbPath"), adbPath);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LUMARIENT_CONFIG_DIR"), folder);
        environment.insert(QStringLiteral("XDG_DOWNLOAD_DIR"), config_.filePath(QStringLiteral("Downloads")));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(LUMARIENT_EXECUTABLE), QStringList());
    }
    ~RunningApp()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    bool waitForLine(const QByteArray &line)
    {
        while (!output_.contains(line)) {
            if (!process_.waitForReadyRead(10000))
                return false;
            output_ += process_.readAll();
        }
        return true;
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    bool waitForExit(int ms)
    {
        const bool finished = process_.waitForFinished(ms);
        output_ += process_.readAll();
        return finished;
    }
    QProcess &process() { return process_; }
    QString configDir() const { return config_.path(); }
    const QByteArray &output() const { return output_; }

private:
    QTemporaryDir config_;
    QProcess process_;
    QByteArray output_;
};

} // namespace

TEST(AppLifecycle, StartsHeadlessAndQuitsCleanlyOnSignals)
{
    for (int number : {SIGTERM, SIGINT}) {
        RunningApp app;
        ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();
        app.signal(number);
        // Well within the two seconds a desktop session gives an app to leave.
        ASSERT_TRUE(app.waitForExit(lumarient::test::scaledMs(2000))) << "still running after the signal";
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.process().exitCode(), 0);
        EXPECT_TRUE(app.output().contains("[Lumarient] stopping\n")) << app.output().toStdString();
    }
}

TEST(AppLifecycle, APhonePluggedInBecomesASavedConfigurationWithinTwoRefreshes)
{
    lumarient::test::PhoneSim sim;
    sim.addPhone(lumarient::test::makePhone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F")));
    RunningApp app(sim.adbPath());
    ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();

    // The first refresh runs at start, the next 3 s later.
    QElapsedTimer timer;
    timer.start();
    QList<lumarient::DeviceConfig> configs;
    while (configs.isEmpty() && timer.elapsed() < 6500) {
        QThread::msleep(100);
        // A fresh reader each time: the app writes the file from another process.
        lumarient::UserDefaults defaults(app.configDir() + QStringLiteral("/Lumarient.conf"));
        configs = lumarient::DeviceConfig::load(defaults);
    }
    ASSERT_EQ(configs.size(), 1) << app.output().toStdString();
    EXPECT_EQ(configs[0].modelPattern, QStringLiteral("SM_G973F"));
    EXPECT_EQ(configs[0].wifiPort, 5555);
    app.signal(SIGTERM);
    EXPECT_TRUE(app.waitForExit(5000));
}

TEST(AppLifecycle, ASecondLaunchHandsOverToTheRunningApp)
{
    RunningApp first;
    ASSERT_TRUE(first.waitForLine("[Lumarient] started\n")) << first.output().toStdString();
    RunningApp second(QString(), first.configDir());
    ASSERT_TRUE(second.waitForExit(10000));
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(second.output().contains("[Lumarient] Already running; asked the running app to come forward"))
        << second.output().toStdString();
    EXPECT_FALSE(second.output().contains("[Lumarient] started"));
    first.signal(SIGTERM);
    EXPECT_TRUE(first.waitForExit(5000));
}

TEST(AppLifecycle, QuitsPromptlyWhileAnAdbCommandHangs)
{
    lumarient::test::PhoneSim sim;
    phonesim::SimRule hang;
    hang.commandPrefix = "devices";
    hang.sleepMs = 60000;
    sim.addRule(hang);
    RunningApp app(sim.adbPath());
    ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();
    QElapsedTimer timer;
    timer.start();
    while (!sim.adbCommands().contains(QStringLiteral("devices -l")) && timer.elapsed() < 10000)
        QThread::msleep(50);
    ASSERT_TRUE(sim.adbCommands().contains(QStringLiteral("devices -l")));

    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit(lumarient::test::scaledMs(2000))) << "still running 2 s after the signal";
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 0);
}
