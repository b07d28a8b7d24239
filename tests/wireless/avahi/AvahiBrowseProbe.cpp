// Browses "_adb-tls-connect._tcp" through avahi-daemon and prints every list it
// is handed, one line each. Run by avahi-namespace.sh inside a test's own network
// namespace.
//
//   AvahiBrowseProbe unavailable      browse while no daemon runs; exit at once
//   AvahiBrowseProbe browse PID       wait for the published service, stop the
//                                     publisher PID, wait for its removal
#include "platform/avahi/AvahiServiceDiscovery.h"
#include "wireless/Bonjour.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <cstdio>

using namespace lumarient;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    AvahiServiceDiscovery discovery;
    Bonjour bonjour(discovery, std::chrono::milliseconds(500));

    if (arguments.value(1) == QLatin1String("unavailable")) {
        auto first = bonjour.browse(QStringLiteral("_adb-tls-connect._tcp"), nullptr);
        auto second = bonjour.browse(QStringLiteral("_adb-tls-pairing._tcp"), nullptr);
        std::printf("browses: %s\n", first && second ? "made" : "missing");
        return 0;
    }

    const pid_t publisher = pid_t(arguments.value(2).toInt());
    bool sawService = false;
    int lists = 0;
    auto browser = bonjour.browse(QStringLiteral("_adb-tls-connect._tcp"), [&](const QList<DiscoveredService> &list) {
        QStringList entries;
        for (const DiscoveredService &service : list)
            entries.append(QStringLiteral("%1|%2|%3|%4").arg(service.id, service.name, service.host).arg(service.port));
        std::printf("LIST [%s]\n", entries.join(QLatin1Char(',')).toUtf8().constData());
        std::fflush(stdout);
        ++lists;
        if (!sawService && !list.isEmpty() && lists >= 3) {
            // Seen and re-resolved by the refresh timer: now take it away.
            sawService = true;
            ::kill(publisher, SIGTERM);
        } else if (sawService && list.isEmpty()) {
            app.exit(0);
        }
    });
    QTimer::singleShot(30000, &app, [&] {
        std::printf("TIMEOUT\n");
        app.exit(1);
    });
    return app.exec();
}
