#include "updates/UpdateChecker.h"
#include "platform/UserDefaults.h"
#include "support/EventLoop.h"
#include "support/HttpTestServer.h"
#include "updates/SoftwareUpdater.h"

#include "TestSigner.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QNetworkProxy>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;

namespace {

// A release server on 127.0.0.1 with one feed, a package signed by the test's
// key, and a checker of version 0.2.0 pointed at it.
class UpdateServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        ASSERT_TRUE(server.isListening());
        ASSERT_TRUE(folder.isValid());
    }

    QString downloads() const { return folder.filePath(QStringLiteral("updates")); }

    UpdateChecker::Settings settings() const
    {
        return {server.url("/appcast.xml"), QStringLiteral("0.2.0"), signer.publicKey(), downloads()};
    }

    // Publishes `version` with `package`; the feed announces `length` bytes and
    // the signature of `signed_` (both default to the package's own).
    void publish(const QByteArray &version, const QByteArray &package, std::optional<qint64> length = std::nullopt,
                 std::optional<QByteArray> signedBytes = std::nullopt)
    {
        server.serve("/lumarient.deb", {200, package, {}});
        server.serve("/appcast.xml",
                     {200,
                      "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><item>"
                      "<sparkle:version>" +
                          version + "</sparkle:version><enclosure url=\"" + server.url("/lumarient.deb").toEncoded() +
                          "\" length=\"" + QByteArray::number(length.value_or(package.size())) +
                          "\" sparkle:edSignature=\"" + signer.sign(signedBytes.value_or(package)).toBase64() +
                          "\"/></item></channel></rss>",
                      {}});
    }

    UpdateCheckResult check() { return check(settings()); }
    UpdateCheckResult check(const UpdateChecker::Settings &checked)
    {
        UpdateChecker checker(checked);
        std::optional<UpdateCheckResult> result;
        QObject::connect(&checker, &UpdateChecker::finished, [&](const UpdateCheckResult &r) { result = r; });
        checker.check();
        EXPECT_TRUE(spinUntil([&] { return result.has_value(); }));
        return result.value_or(UpdateCheckResult{});
    }

    QStringList downloaded() const { return QDir(downloads()).entryList(QDir::Files); }

    HttpTestServer server;
    TestSigner signer;
    QTemporaryDir folder;
};

} // namespace

TEST_F(UpdateServer, ANewerSignedReleaseIsDownloadedAndOffered)
{
    const QByteArray package(200'000, 'p');
    publish("0.3.0", package);
    const UpdateCheckResult result = check();
    ASSERT_EQ(result.kind, UpdateCheckResult::Kind::ready) << result.message.toStdString();
    EXPECT_EQ(result.item.version, "0.3.0");
    QFile file(result.packagePath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), package);
    EXPECT_EQ(downloaded(), QStringList{"lumarient-0.3.0.deb"});
}

TEST_F(UpdateServer, TheSameOrAnOlderReleaseIsNothingToDo)
{
    publish("0.2", "package");
    const UpdateCheckResult result = check();
    EXPECT_EQ(result.kind, UpdateCheckResult::Kind::upToDate);
    EXPECT_EQ(result.message, "Lumarient 0.2.0 is the newest version.");
    EXPECT_EQ(server.requests("/lumarient.deb"), 0);
}

TEST_F(UpdateServer, NothingUnverifiedIsEverOffered)
{
    struct Case {
        const char *what;
        std::function<void()> arrange;
        const char *message;
    };
    const QByteArray package(50'000, 'p');
    const std::vector<Case> cases{
        {"signature of other bytes", [&] { publish("0.3.0", package, std::nullopt, package + "x"); },
         "does not carry Lumarient's signature"},
        {"feed announces more bytes", [&] { publish("0.3.0", package, package.size() + 1); }, "instead of the"},
        {"feed announces fewer bytes", [&] { publish("0.3.0", package, package.size() - 1); }, "instead of the"},
        {"truncated download",
         [&] {
             publish("0.3.0", package);
             server.serve("/lumarient.deb", {200, package.left(1000), package.size()});
         },
         "update"},
        {"package missing",
         [&] {
             publish("0.3.0", package), server.serve("/lumarient.deb", {404, "gone", {}});
         },
         "could not be downloaded"},
        {"malformed feed",
         [&] {
             server.serve("/appcast.xml", {200, "<rss><channel><item>", {}});
         },
         "could not be read"},
        {"feed missing",
         [&] {
             server.serve("/appcast.xml", {500, "oops", {}});
         },
         "could not reach"},
    };
    for (const Case &c : cases) {
        c.arrange();
        const UpdateCheckResult result = check();
        EXPECT_EQ(result.kind, UpdateCheckResult::Kind::failed) << c.what;
        EXPECT_TRUE(result.message.contains(QString::fromUtf8(c.message)))
            << c.what << ": " << result.message.toStdString();
        EXPECT_TRUE(downloaded().isEmpty()) << c.what;
    }
}

TEST_F(UpdateServer, AServerThatDoesNotAnswerIsAClearFailure)
{
    const UpdateChecker::Settings closed = settings();
    server.close();
    const UpdateCheckResult result = check(closed);
    EXPECT_EQ(result.kind, UpdateCheckResult::Kind::failed);
    EXPECT_TRUE(result.message.startsWith("Lumarient could not reach the update server"));
}

TEST_F(UpdateServer, TheUpdaterAsksOnceThenChecksDailyFromTheSettingsFeed)
{
    UserDefaults defaults(folder.filePath(QStringLiteral("Lumarient.conf")));
    publish("0.3.0", "new package");
    // The settings file's feed wins over the built-in one.
    defaults.setValue(SoftwareUpdater::feedKey, server.url("/appcast.xml").toString());
    UpdateChecker::Settings built = settings();
    built.feed = QUrl(QStringLiteral("http://127.0.0.1:1/unused.xml"));
    QDateTime now = QDateTime::fromString("2026-12-06T12:00:00Z", Qt::ISODate);
    SoftwareUpdater::Platform platform;
    platform.now = [&] { return now; };

    int asked = 0;
    std::vector<std::pair<UpdateCheckResult::Kind, bool>> results;
    const auto launch = [&] {
        auto updater = std::make_unique<SoftwareUpdater>(built, defaults, platform);
        QObject::connect(updater.get(), &SoftwareUpdater::consentNeeded, [&] { ++asked; });
        QObject::connect(updater.get(), &SoftwareUpdater::checkFinished,
                         [&](const UpdateCheckResult &r, bool user) { results.emplace_back(r.kind, user); });
        updater->start();
        return updater;
    };
    const auto near = [](std::optional<QDateTime> at, const QDateTime &expected) {
        return at && std::abs(at->msecsTo(expected)) < 60'000;
    };

    launch();
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(results.empty());

    auto second = launch();
    EXPECT_EQ(asked, 1);
    second->setAutomaticChecks(true);
    ASSERT_TRUE(spinUntil([&] { return !results.empty(); }));
    using Kind = UpdateCheckResult::Kind;
    EXPECT_EQ(results, (std::vector<std::pair<Kind, bool>>{{Kind::ready, false}}));
    EXPECT_EQ(server.requests("/appcast.xml"), 1);
    EXPECT_TRUE(near(second->nextAutomaticCheck(), now.addDays(1)));
    second.reset();

    // The next launch the same day neither asks again nor checks again.
    now = now.addSecs(3600);
    auto third = launch();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(third->isChecking());
    EXPECT_TRUE(near(third->nextAutomaticCheck(), now.addSecs(23 * 3600)));
}
