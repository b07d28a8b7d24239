// Runs the fuzz target once on every file of the seed folders given, so the
// seeds stay good inputs wherever libFuzzer itself cannot be built.

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char *argv[])
{
    int replayed = 0;
    for (int index = 1; index < argc; ++index) {
        const QDir folder(QString::fromLocal8Bit(argv[index]));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray input = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.constData()),
                                   std::size_t(input.size()));
            ++replayed;
        }
    }
    std::printf("Replayed %d seeds\n", replayed);
    return replayed > 0 ? 0 : 1;
}
