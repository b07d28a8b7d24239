// Prints the time from starting `lumarient` to its tray being ready (the
// "[Lumarient] started" line, written once the tray icon is shown), median of
// several starts, and the resident memory of the idle app with one simulated
// phone after 20 s of polling. Run it inside a loopback-only namespace.

#include "SimStore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Setup {
    QTemporaryDir sim;
    QTemporaryDir config;
    QString adb;
};

void prepare(Setup &setup)
{
    setup.adb = setup.sim.filePath(QStringLiteral("adb"));
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), setup.adb);
    phonesim::SimStore(setup.sim.path().toStdString()).update([](phonesim::SimState &state) {
        phonesim::SimPhone phone;
        phone.usbSerial = "R58M123ABC";
        phone.model = "SM_G973F";
        state.phones.push_back(phone);
    });
    lumarient::UserDefaults(setup.config.filePath(QStringLiteral("Lumarient.conf")))
        .setValue(QStringLiteral("adbPath"), setup.adb);
}

void start(QProcess &app, Setup &setup)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMARIENT_PHONESIM_DIR"), setup.sim.path());
    environment.insert(QStringLiteral("LUMARIENT_CONFIG_DIR"), setup.config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(LUMARIENT_EXECUTABLE), QStringList());
}

bool waitForReady(QProcess &app)
{
    QByteArray output;
    while (!output.contains("[Lumarient] started")) {
        if (!app.waitForReadyRead(10000))
            return false;
        output += app.readAll();
    }
    return true;
}

long residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void stop(QProcess &app)
{
    app.terminate();
    if (!app.waitForFinished(5000)) {
        app.kill();
        app.waitForFinished();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    std::vector<double> millis;
    for (int run = 0; run < 7; ++run) {
        Setup setup;
        prepare(setup);
        QProcess app;
        QElapsedTimer timer;
        timer.start();
        start(app, setup);
        if (!waitForReady(app)) {
            std::fprintf(stderr, "the app did not start\n");
            return 1;
        }
        millis.push_back(double(timer.nsecsElapsed()) / 1e6);
        stop(app);
    }
    std::sort(millis.begin(), millis.end());
    std::printf("start to tray ready: median %.0f ms, min %.0f ms, max %.0f ms (%zu starts)\n",
                millis[millis.size() / 2], millis.front(), millis.back(), millis.size());

    Setup setup;
    prepare(setup);
    QProcess app;
    start(app, setup);
    if (!waitForReady(app))
        return 1;
    QThread::sleep(20);
    app.readAll();
    std::printf("resident memory, idle with one phone after 20 s: %ld KiB\n", residentKiB(app.processId()));
    stop(app);
    return 0;
}
