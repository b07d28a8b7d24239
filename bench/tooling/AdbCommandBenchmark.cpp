// Prints the median and 90th percentile time of one `adb devices -l` and one
// `adb -s S shell dumpsys display` through Shell::run against phone-sim, and of a
// bare /bin/true for the cost of starting any child.

#include "SimStore.h"
#include "tooling/Shell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace lumarient;

namespace {

void measure(const char *label, const QString &path, const QStringList &arguments, int runs)
{
    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        Shell::run(path, arguments);
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    }
    std::sort(millis.begin(), millis.end());
    std::printf("%-40s median %.2f ms   p90 %.2f ms   (%d runs)\n", label, millis[millis.size() / 2],
                millis[millis.size() * 9 / 10], runs);
}

} // namespace

int main()
{
    QTemporaryDir folder;
    const QString adb = folder.filePath(QStringLiteral("adb"));
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), adb);
    qputenv("LUMARIENT_PHONESIM_DIR", folder.path().toLocal8Bit());
    phonesim::SimStore(folder.path().toStdString()).update([](phonesim::SimState &state) {
        for (int index = 0; index < 8; ++index) {
            phonesim::SimPhone phone;
            phone.usbSerial = "SERIAL" + std::to_string(index);
            phone.model = "Model_" + std::to_string(index);
            state.phones.push_back(phone);
        }
    });

    measure("/bin/true", QStringLiteral("/bin/true"), {}, 200);
    measure("adb devices -l (8 phones)", adb, {QStringLiteral("devices"), QStringLiteral("-l")}, 200);
    measure("adb -s S shell dumpsys display", adb,
            {QStringLiteral("-s"), QStringLiteral("SERIAL0"), QStringLiteral("shell"), QStringLiteral("dumpsys"),
             QStringLiteral("display")},
            200);
    return 0;
}
