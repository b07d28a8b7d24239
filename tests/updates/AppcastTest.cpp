#include "updates/Appcast.h"
#include "support/Files.h"
#include "updates/PackageSignature.h"
#include "updates/UpdateSchedule.h"

#include "TestSigner.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

using namespace lumarient;
using lumarient::test::writeFile;

namespace {

const QByteArray signature64 = QByteArray(64, 's').toBase64();

QByteArray feed(const QByteArray &items)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Lumarient</title>)" +
           items + "</channel></rss>";
}

QByteArray item(const QByteArray &version, const QByteArray &enclosureExtra = {},
                const QByteArray &url = "https://example.invalid/p.deb")
{
    return "<item><title>Version " + version + "</title><sparkle:version>" + version +
           "</sparkle:version><sparkle:releaseNotesLink>https://example.invalid/notes</sparkle:releaseNotesLink>"
           "<enclosure url=\"" +
           url + "\" length=\"1234\" sparkle:edSignature=\"" + signature64 + "\" " + enclosureExtra + "/></item>";
}

} // namespace

TEST(Appcast, ReadsItemsAndSkipsThoseThisComputerCannotUse)
{
    const QByteArray withVersionsOnEnclosure =
        "<item><enclosure url=\"https://example.invalid/q.deb\" length=\"99\" sparkle:version=\"0.3.0\" "
        "sparkle:shortVersionString=\"0.3\" sparkle:edSignature=\"" +
        signature64 + "\"/></item>";
    const auto items = parseAppcast(feed(item("0.2.0") + withVersionsOnEnclosure +
                                         item("0.4.0", "sparkle:os=\"windows\"") +                 // another system
                                         item("0.5.0", "", "ftp://example.invalid/x") +            // not http(s)
                                         "<item><sparkle:version>0.6</sparkle:version></item>" +   // no package
                                         item("0.7.0").replace(signature64, "bm90LTY0LWJ5dGVz"))); // short signature
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2);
    EXPECT_EQ((*items)[0].version, "0.2.0");
    EXPECT_EQ((*items)[0].length, 1234);
    EXPECT_EQ((*items)[0].signature.size(), 64);
    EXPECT_EQ((*items)[0].releaseNotes, QUrl("https://example.invalid/notes"));
    EXPECT_EQ((*items)[1].version, "0.3.0");
    EXPECT_EQ((*items)[1].displayVersion(), "0.3");
}

TEST(Appcast, RefusesDocumentsThatAreNotFeeds)
{
    for (const QByteArray &document :
         {QByteArray(), QByteArray("<html><body>503</body></html>"), QByteArray("<rss><channel><item>"),
          QByteArray("<rss version=\"2.0\"/>"), QByteArray("\x00\xff garbage", 10), feed(item("1")).left(120)}) {
        QString error;
        EXPECT_FALSE(parseAppcast(document, &error)) << document.constData();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(parseAppcast(feed({}))->isEmpty());
}

TEST(Appcast, OrdersVersionsAsReleaseNumbers)
{
    struct Case {
        const char *left, *right;
        int order;
    };
    for (const Case &c :
         {Case{"1.10", "1.9", 1}, Case{"1.0", "1.0.0", 0}, Case{"0.1.0", "0.1.1", -1}, Case{"2", "10", -1},
          Case{"1.0b1", "1.0", -1}, Case{"1.0.1", "1.0b1", 1}, Case{"01.2", "1.2", 0}, Case{"1.2.0.0", "1.2", 0},
          Case{"1.2.0.1", "1.2", 1}, Case{"99999999999999999999", "1", 1}}) {
        EXPECT_EQ(compareVersions(c.left, c.right), c.order) << c.left << " vs " << c.right;
        EXPECT_EQ(compareVersions(c.right, c.left), -c.order) << c.right << " vs " << c.left;
    }
    const QList<AppcastItem> items{
        {{}, "0.3.0", {}, {}, {}, 1, {}}, {{}, "0.10.0", {}, {}, {}, 1, {}}, {{}, "0.2.0", {}, {}, {}, 1, {}}};
    EXPECT_EQ(newestNewerThan(items, "0.2.0")->version, "0.10.0");
    EXPECT_FALSE(newestNewerThan(items, "0.10"));
}

TEST(PackageSignature, AcceptsOnlyTheKeysOwnSignatureOfTheExactBytes)
{
    const test::TestSigner signer;
    const test::TestSigner stranger;
    const QByteArray package("package bytes");
    const QByteArray signature = signer.sign(package);
    EXPECT_TRUE(verifyPackageSignature(signer.publicKey(), package, signature));
    EXPECT_FALSE(verifyPackageSignature(stranger.publicKey(), package, signature));
    EXPECT_FALSE(verifyPackageSignature(signer.publicKey(), package + "!", signature));
    EXPECT_FALSE(verifyPackageSignature(signer.publicKey(), package, signature.left(63)));
    EXPECT_FALSE(verifyPackageSignature(QByteArray(31, 'k'), package, signature));
}

TEST(UpdateSchedule, AsksFromTheSecondLaunchAndChecksDaily)
{
    using Step = UpdateSchedule::Step;
    const QDateTime now = QDateTime::fromString("2026-12-06T12:00:00Z", Qt::ISODate);
    const auto hoursAgo = [&](int hours) { return std::optional(now.addSecs(-3600 * hours)); };
    EXPECT_EQ(UpdateSchedule::next(1, std::nullopt, std::nullopt, now), Step::nothing);
    EXPECT_EQ(UpdateSchedule::next(2, std::nullopt, std::nullopt, now), Step::askConsent);
    EXPECT_EQ(UpdateSchedule::next(9, false, std::nullopt, now), Step::nothing);
    EXPECT_EQ(UpdateSchedule::next(2, true, std::nullopt, now), Step::checkNow);
    EXPECT_EQ(UpdateSchedule::next(2, true, hoursAgo(23), now), Step::checkLater);
    EXPECT_EQ(UpdateSchedule::dueAt(hoursAgo(23), now), now.addSecs(3600));
    EXPECT_EQ(UpdateSchedule::next(2, true, hoursAgo(24), now), Step::checkNow);
    // A clock set back must not postpone checks for the time it jumped.
    EXPECT_EQ(UpdateSchedule::next(2, true, hoursAgo(-500), now), Step::checkNow);
}

// The release script and the app must agree on the signature's form.
TEST(PackageSignature, TheReleaseScriptSignsWhatTheAppAccepts)
{
    QTemporaryDir folder;
    const QString key = folder.filePath("key.pem"), package = folder.filePath("p.deb");
    ASSERT_EQ(QProcess::execute("openssl", {"genpkey", "-algorithm", "ed25519", "-out", key}), 0);
    ASSERT_TRUE(writeFile(package, QByteArray(4096, 'd')));

    QProcess publicKey;
    publicKey.start("openssl", {"pkey", "-in", key, "-pubout", "-outform", "DER"});
    ASSERT_TRUE(publicKey.waitForFinished());
    QProcess script;
    script.start(QStringLiteral(LUMARIENT_SOURCE_DIR "/scripts/sign-update.sh"),
                 {key, package, "0.9.0", "https://example.invalid/p.deb"});
    ASSERT_TRUE(script.waitForFinished());
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().constData();

    const auto items = parseAppcast(feed(script.readAllStandardOutput()));
    ASSERT_TRUE(items && items->size() == 1);
    EXPECT_EQ(items->front().length, 4096);
    EXPECT_TRUE(verifyPackageSignature(publicKey.readAllStandardOutput().right(32), QByteArray(4096, 'd'),
                                       items->front().signature));
}
