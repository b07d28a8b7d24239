#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

// Starts the real executable headless with settings of its own.
class RunningApp {
public:
    RunningApp()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LUMARIENT_CONFIG_DIR"), config_.path());
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
        ASSERT_TRUE(app.waitForExit(2000)) << "still running after the signal";
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.process().exitCode(), 0);
        EXPECT_TRUE(app.output().contains("[Lumarient] stopping\n")) << app.output().toStdString();
    }
}
