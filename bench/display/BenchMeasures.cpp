#include "BenchMeasures.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace lumarient::bench {

namespace {

struct CpuSample {
    QByteArray name;
    double seconds = 0;
};

CpuSample readStat(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray text = file.readAll();
    const int open = text.indexOf('(');
    const int close = text.lastIndexOf(')');
    if (open < 0 || close < open) {
        return {};
    }
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 13) {
        return {};
    }
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return {text.mid(open + 1, close - open - 1), (fields[11].toDouble() + fields[12].toDouble()) / ticks};
}

} // namespace

double millisecondsBetween(SteadyTime from, SteadyTime to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(fraction * double(values.size())))];
}

double cpuSecondsOf(const QString &statPath)
{
    return readStat(statPath).seconds;
}

double ownThreadsCpuSeconds()
{
    double total = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const CpuSample sample = readStat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!sample.name.startsWith("bench-") && !sample.name.startsWith("fake-")) {
            total += sample.seconds;
        }
    }
    return total;
}

void printRange(const char *what, std::vector<double> values, const char *unit)
{
    if (values.empty()) {
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("  %-30s min %7.2f  median %7.2f  max %7.2f %s\n", what, values.front(), percentile(values, 0.5),
                values.back(), unit);
}

} // namespace lumarient::bench
