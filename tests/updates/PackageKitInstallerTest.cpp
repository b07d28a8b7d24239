#include "platform/dbus/PackageKitInstaller.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

using namespace lumarient;
using namespace lumarient::test;

namespace {

// PackageKit as far as installing a file goes: it hands out a transaction and
// answers InstallFiles with the signals a real transaction ends with.
class FakePackageKit : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.PackageKit")
public:
    enum class Ending { success, error, silence };

    explicit FakePackageKit(QDBusConnection bus) : bus_(std::move(bus))
    {
        bus_.registerObject(QStringLiteral("/org/freedesktop/PackageKit"), this, QDBusConnection::ExportAllSlots);
        bus_.registerVirtualObject(QStringLiteral("/1_test"), &transaction_);
        transaction_.owner = this;
    }

    Ending ending = Ending::success;
    QStringList installed;
    qulonglong flags = 99;

public slots:
    QDBusObjectPath CreateTransaction() { return QDBusObjectPath(QStringLiteral("/1_test")); }

private:
    struct Transaction : QDBusVirtualObject {
        FakePackageKit *owner = nullptr;
        QString introspect(const QString &) const override { return {}; }
        bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
        {
            if (message.member() != QStringLiteral("InstallFiles"))
                return false;
            owner->flags = message.arguments().value(0).toULongLong();
            owner->installed = message.arguments().value(1).toStringList();
            connection.send(message.createReply());
            owner->end(connection);
            return true;
        }
    };

    void end(const QDBusConnection &connection)
    {
        const auto signal = [&](const QString &name, const QVariantList &arguments) {
            QDBusMessage message = QDBusMessage::createSignal(
                QStringLiteral("/1_test"), QStringLiteral("org.freedesktop.PackageKit.Transaction"), name);
            message.setArguments(arguments);
            connection.send(message);
        };
        if (ending == Ending::error)
            signal(QStringLiteral("ErrorCode"), {7u, QStringLiteral("dependency missing")});
        if (ending != Ending::silence)
            signal(QStringLiteral("Finished"), {ending == Ending::success ? 1u : 2u, 10u});
    }

    QDBusConnection bus_;
    Transaction transaction_;
};

struct Installation {
    PrivateBus bus;
    QDBusConnection app = bus.connect(QStringLiteral("app"));
    QDBusConnection service = bus.connect(QStringLiteral("packagekit"));
    PackageKitInstaller installer{app};

    std::optional<PackageInstaller::Outcome> install()
    {
        std::optional<PackageInstaller::Outcome> outcome;
        installer.install(QStringLiteral("/tmp/lumarient-0.3.0.deb"),
                          [&](PackageInstaller::Outcome o) { outcome = std::move(o); });
        spinUntil([&] { return outcome.has_value(); }, std::chrono::seconds(10));
        return outcome;
    }
};

} // namespace

TEST(PackageKitInstaller, ReportsWhatTheTransactionEndedWith)
{
    Installation setup;
    ASSERT_TRUE(setup.bus.running()) << "dbus-daemon did not start";

    // No PackageKit on the bus: the caller offers the file instead.
    std::optional<PackageInstaller::Outcome> outcome = setup.install();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->serviceMissing);

    FakePackageKit packageKit(setup.service);
    ASSERT_TRUE(setup.service.registerService(QStringLiteral("org.freedesktop.PackageKit")));
    outcome = setup.install();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->installed);
    EXPECT_EQ(packageKit.installed, QStringList{"/tmp/lumarient-0.3.0.deb"});
    EXPECT_EQ(packageKit.flags, 0u);

    packageKit.ending = FakePackageKit::Ending::error;
    outcome = setup.install();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->installed || outcome->serviceMissing);
    EXPECT_EQ(outcome->message, "The update was not installed: dependency missing");

    // PackageKit going away mid-transaction ends the wait with a failure.
    packageKit.ending = FakePackageKit::Ending::silence;
    std::optional<PackageInstaller::Outcome> abandoned;
    setup.installer.install(QStringLiteral("/tmp/x.deb"), [&](PackageInstaller::Outcome o) { abandoned = o; });
    ASSERT_TRUE(spinUntil([&] { return packageKit.installed == QStringList{"/tmp/x.deb"}; }));
    setup.service.unregisterService(QStringLiteral("org.freedesktop.PackageKit"));
    ASSERT_TRUE(spinUntil([&] { return abandoned.has_value(); }));
    EXPECT_FALSE(abandoned->installed);
    EXPECT_TRUE(abandoned->message.contains("PackageKit stopped"));
}

#include "PackageKitInstallerTest.moc"
