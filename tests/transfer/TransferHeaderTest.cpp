#include "transfer/TransferHeader.h"
#include "transfer/DownloadName.h"
#include "transfer/TextPreview.h"

#include <gtest/gtest.h>

#include <QList>

using namespace lumarient;

TEST(TransferHeader, LengthIsBigEndianWithinOneTo65536)
{
    const auto length = [](unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
        const unsigned char bytes[4] = {a, b, c, d};
        return decodeHeaderLength(bytes);
    };
    EXPECT_EQ(length(0, 0, 0, 1), 1u);
    EXPECT_EQ(length(0, 0, 1, 2), 258u);
    EXPECT_EQ(length(0, 1, 0, 0), 65536u);
    EXPECT_EQ(length(0, 0, 0, 0), std::nullopt);
    EXPECT_EQ(length(0, 1, 0, 1), std::nullopt);
    EXPECT_EQ(length(1, 0, 0, 0), std::nullopt); // 16 MiB: the length is big-endian
    EXPECT_EQ(length(0xff, 0xff, 0xff, 0xff), std::nullopt);
}

TEST(TransferHeader, DecodesTheThreeKeysAndIgnoresOthers)
{
    EXPECT_EQ(decodeHeader(R"({"type":"file","name":"a.txt","size":12,"mime":"text/plain"})"),
              (Header{"file", QStringLiteral("a.txt"), 12}));
    EXPECT_EQ(decodeHeader(R"({"size":-1,"type":"file"})"), (Header{"file", std::nullopt, -1}));
    EXPECT_EQ(decodeHeader(R"({"type":"file","name":null,"size":0})"), (Header{"file", std::nullopt, 0}));
    EXPECT_EQ(decodeHeader(R"({"type":"text","size":9223372036854775807})"),
              (Header{"text", std::nullopt, std::numeric_limits<std::int64_t>::max()}));
    EXPECT_EQ(decodeHeader(R"({"type":"text","size":-9223372036854775808})"),
              (Header{"text", std::nullopt, std::numeric_limits<std::int64_t>::min()}));
    // Sizes past double precision keep their exact value.
    EXPECT_EQ(decodeHeader(R"({"type":"file","size":9007199254740993})")->size, 9007199254740993);
    EXPECT_EQ(
        decodeHeader(QStringLiteral("{\"type\":\"file\",\"name\":\"caf\u00e9 \U0001F600\",\"size\":1}").toUtf8())->name,
        QStringLiteral("caf\u00e9 \U0001F600"));
}

TEST(TransferHeader, RefusesWhatIsNotAHeader)
{
    const QList<QByteArray> refused = {
        "",
        " ",
        "null",
        "\"text\"",
        "[]",
        "{}",
        R"({"type":"text"})",
        R"({"type":"text","size":null})",
        R"({"type":"text","size":true})",
        R"({"type":"text","size":0.5})",
        R"({"type":"text","size":9223372036854775808})",
        R"({"type":1,"size":1})",
        R"({"type":null,"size":1})",
        R"({"type":"file","name":["a"],"size":1})",
        R"({"type":"file","name":{},"size":1})",
        R"({"type":"text","size":1)",
        R"({"type":"text","size":1}})",
        R"({"type":"text","size":1} trailing)",
        QByteArray("{\"type\":\"te\xc3\x28xt\",\"size\":1}"),
        QByteArray("{\"type\":\"text\",\"size\":1}\0", 25),
    };
    for (const QByteArray &json : refused)
        EXPECT_EQ(decodeHeader(json), std::nullopt) << json.toStdString();
}

TEST(TransferHeader, Utf8MustBeStrict)
{
    EXPECT_EQ(decodeUtf8(QByteArray("caf\xc3\xa9")), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(decodeUtf8(QByteArray("a\0b", 3)), QString::fromUtf8("a\0b", 3));
    for (const QByteArray &bytes : {QByteArray("\xc3"), QByteArray("\xff"), QByteArray("\xc0\x80"),
                                    QByteArray("\xed\xb0\x80"), QByteArray("\xf4\x90\x80\x80")})
        EXPECT_EQ(decodeUtf8(bytes), std::nullopt) << bytes.toHex().toStdString();
}

TEST(DownloadName, KeepsOnlyASafeLastComponent)
{
    const QString shared = QStringLiteral("Shared file");
    EXPECT_EQ(safeFileName(std::nullopt), shared);
    EXPECT_EQ(safeFileName(QString()), shared);
    EXPECT_EQ(safeFileName(QStringLiteral(".")), shared);
    EXPECT_EQ(safeFileName(QStringLiteral("..")), shared);
    EXPECT_EQ(safeFileName(QStringLiteral("/")), shared);
    EXPECT_EQ(safeFileName(QStringLiteral("a/..")), shared);
    EXPECT_EQ(safeFileName(QStringLiteral(".\n.")), shared);
    EXPECT_EQ(safeFileName(QStringLiteral("\x01\x02")), shared);
    EXPECT_EQ(safeFileName(QStringLiteral("../../x.txt")), QStringLiteral("x.txt"));
    EXPECT_EQ(safeFileName(QStringLiteral("/etc/passwd")), QStringLiteral("passwd"));
    EXPECT_EQ(safeFileName(QStringLiteral("photos/")), QStringLiteral("photos"));
    EXPECT_EQ(safeFileName(QStringLiteral("a\tb\rc\u0085d\u007f.txt")), QStringLiteral("abcd.txt"));
    EXPECT_EQ(safeFileName(QStringLiteral(".profile")), QStringLiteral(".profile"));
    EXPECT_EQ(safeFileName(QStringLiteral("back\\slash")), QStringLiteral("back\\slash"));
}

TEST(DownloadName, BidirectionalMarksAreRemoved)
{
    // "photo\u202Egpj.exe" would read as "photoexe.jpg".
    EXPECT_EQ(safeFileName(QStringLiteral("photo\u202Egpj.exe")), QStringLiteral("photogpj.exe"));
    const QString marks = QStringLiteral("\u061C\u200E\u200F\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069");
    EXPECT_EQ(safeFileName(QStringLiteral("a") + marks + QStringLiteral("b.txt")), QStringLiteral("ab.txt"));
    EXPECT_EQ(safeFileName(marks), QStringLiteral("Shared file"));
    // Other format characters belong to the name: a joined emoji stays whole.
    const QString family = QStringLiteral("\U0001F469\u200D\U0001F467.png");
    EXPECT_EQ(safeFileName(family), family);
}

TEST(DownloadName, NumbersBeforeTheExtension)
{
    EXPECT_EQ(numberedFileName(QStringLiteral("photo.jpg"), 1), QStringLiteral("photo.jpg"));
    EXPECT_EQ(numberedFileName(QStringLiteral("photo.jpg"), 2), QStringLiteral("photo (2).jpg"));
    EXPECT_EQ(numberedFileName(QStringLiteral("archive.tar.gz"), 3), QStringLiteral("archive.tar (3).gz"));
    EXPECT_EQ(numberedFileName(QStringLiteral("notes"), 2), QStringLiteral("notes (2)"));
    EXPECT_EQ(numberedFileName(QStringLiteral(".profile"), 2), QStringLiteral(".profile (2)"));
    EXPECT_EQ(numberedFileName(QStringLiteral("end."), 2), QStringLiteral("end. (2)"));
    EXPECT_EQ(numberedFileName(QStringLiteral("Shared file"), 12), QStringLiteral("Shared file (12)"));
}

TEST(DownloadName, LongNamesFitTheFileSystem)
{
    // 200 three-byte characters: 600 bytes, cut at a character boundary.
    const QString longName = QString(200, QChar(0x20AC)) + QStringLiteral(".pdf");
    for (int number : {1, 2, 1000}) {
        const QString name = numberedFileName(longName, number);
        EXPECT_LE(name.toUtf8().size(), 255);
        EXPECT_TRUE(name.endsWith(number == 1 ? QStringLiteral(".pdf") : QStringLiteral(" (%1).pdf").arg(number)));
        EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name);
    }
    // Surrogate pairs are never split.
    const QString emoji = numberedFileName(QStringLiteral("\U0001F600").repeated(100), 2);
    EXPECT_LE(emoji.toUtf8().size(), 255);
    EXPECT_TRUE(emoji.isValidUtf16());
}

TEST(DownloadName, ShortenedNamesNeverBecomeHidden)
{
    const QString letters(300, QLatin1Char('e'));
    for (const QString &name : {QStringLiteral("x.") + letters, QStringLiteral("\U0001F600.") + letters}) {
        for (int number : {1, 2, 1000}) {
            const QString shortened = numberedFileName(name, number);
            EXPECT_LE(shortened.toUtf8().size(), 255);
            EXPECT_FALSE(shortened.startsWith(QLatin1Char('.'))) << shortened.toStdString();
            EXPECT_EQ(shortened.left(name.indexOf(QLatin1Char('.'))), name.left(name.indexOf(QLatin1Char('.'))));
        }
    }
}

TEST(TextPreview, EightyCharactersThenAnEllipsis)
{
    const QString ellipsis(QChar(0x2026));
    EXPECT_EQ(textPreview(QString()), QString());
    EXPECT_EQ(textPreview(QString(80, 'a')), QString(80, 'a'));
    EXPECT_EQ(textPreview(QString(81, 'a')), QString(80, 'a') + ellipsis);
    // "e" with a combining accent is one character of two code units.
    const QString accented = QStringLiteral("e\u0301");
    EXPECT_EQ(textPreview(accented.repeated(80)), accented.repeated(80));
    EXPECT_EQ(textPreview(accented.repeated(81)), accented.repeated(80) + ellipsis);
    EXPECT_EQ(textPreview(QStringLiteral("\U0001F600").repeated(90)),
              QStringLiteral("\U0001F600").repeated(80) + ellipsis);
    // A flag is one character of four code units.
    EXPECT_EQ(textPreview(QString(79, QLatin1Char('c')) + QStringLiteral("\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7")),
              QString(79, QLatin1Char('c')) + QStringLiteral("\U0001F1E9\U0001F1EA") + ellipsis);
}
