// Runs the fuzz target without libFuzzer: every seed file given (or every file in a
// given folder), then -runs=N inputs made by mutating the seeds with a fixed random
// sequence, so the run is the same every time.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

void run(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.constData()), std::size_t(input.size()));
}

QByteArray mutate(QByteArray input, std::mt19937 &random)
{
    const int edits = 1 + int(random() % 8);
    for (int edit = 0; edit < edits; ++edit) {
        const qsizetype at = input.isEmpty() ? 0 : qsizetype(random() % std::uint32_t(input.size()));
        switch (random() % 6) {
        case 0: // flip a bit
            if (!input.isEmpty())
                input[at] = char(input[at] ^ char(1 << (random() % 8)));
            break;
        case 1: // a byte of any value
            if (!input.isEmpty())
                input[at] = char(random());
            break;
        case 2: // insert bytes
            input.insert(at, QByteArray(1 + qsizetype(random() % 16), char(random())));
            break;
        case 3: // cut the tail
            input.truncate(at);
            break;
        case 4: // remove a few bytes
            input.remove(at, 1 + qsizetype(random() % 8));
            break;
        default: // an interesting number in place
            if (input.size() >= at + 4) {
                static const std::uint32_t numbers[] = {0, 1, 0x7fffffff, 0x80000000, 0xffffffff, 65536, 65537, 262144};
                const std::uint32_t number = numbers[random() % std::size(numbers)];
                for (int index = 0; index < 4; ++index)
                    input[at + index] = char(number >> (24 - 8 * index));
            }
            break;
        }
    }
    return input;
}

} // namespace

int main(int argc, char *argv[])
{
    long runs = 10000;
    std::vector<QByteArray> seeds;
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (argument.startsWith(QLatin1String("-runs="))) {
            runs = argument.mid(6).toLong();
            continue;
        }
        if (argument.startsWith(QLatin1Char('-')))
            continue; // libFuzzer options that mean nothing here
        QStringList paths{argument};
        if (QFileInfo(argument).isDir()) {
            const QDir folder(argument);
            paths.clear();
            for (const QString &file : folder.entryList(QDir::Files, QDir::Name))
                paths << folder.filePath(file);
        }
        for (const QString &path : paths) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                seeds.push_back(file.readAll());
        }
    }
    if (seeds.empty())
        seeds.push_back(QByteArray(8, '\0'));

    for (const QByteArray &seed : seeds)
        run(seed);
    std::mt19937 random(20261206);
    for (long count = 0; count < runs; ++count)
        run(mutate(seeds[std::size_t(random()) % seeds.size()], random));
    std::printf("Replayed %zu seeds and %ld mutated inputs\n", seeds.size(), runs);
    return 0;
}
