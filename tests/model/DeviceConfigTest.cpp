#include "model/DeviceConfig.h"
#include "platform/UserDefaults.h"
#include "support/Devices.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;

namespace {

const char *const validElement =
    R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"Pixel","modelPattern":"Pixel_8","wifiPort":5555,)"
    R"("resolution":"2560x1600/240","supportsVirtualDisplay":true,"virtualDisplayHasWindowManagement":false})";

class DeviceConfigTest : public ::testing::Test {
protected:
    QStringList backupKeys() const
    {
        QStringList keys;
        for (const QString &key : defaults_.keys()) {
            if (key.startsWith(DeviceConfig::unreadableBackupPrefix()))
                keys.append(key);
        }
        return keys;
    }

    QTemporaryDir folder_;
    UserDefaults defaults_{folder_.filePath(QStringLiteral("Lumarient.conf"))};
};

} // namespace

TEST_F(DeviceConfigTest, EveryFieldAndTheOrderSurviveSaveAndLoad)
{
    const DeviceConfig first{
        QUuid::createUuid(), QString(), QStringLiteral("SM_G973F"), 5557, QStringLiteral("1920x1080/160"), true, false};
    const DeviceConfig second{QUuid::createUuid(),
                              QStringLiteral("Pixel 8 — work"),
                              QStringLiteral("Pixel_8"),
                              5555,
                              DeviceConfig::defaultResolution(),
                              false,
                              true};
    ASSERT_TRUE(DeviceConfig::save(defaults_, {first, second}));
    EXPECT_EQ(DeviceConfig::load(defaults_), (QList<DeviceConfig>{first, second}));
    EXPECT_EQ(DeviceConfig::load(defaults_)[1].resolution, QStringLiteral("2560x1600/240"));
}

TEST_F(DeviceConfigTest, EncodesSevenKeysWithUpperCaseId)
{
    const DeviceConfig one{.id = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e")),
                           .name = QStringLiteral("A"),
                           .modelPattern = QStringLiteral("M"),
                           .wifiPort = 5555};
    const QJsonArray array = QJsonDocument::fromJson(DeviceConfig::encode({one})).array();
    ASSERT_EQ(array.size(), 1);
    const QJsonObject object = array[0].toObject();
    EXPECT_EQ(object.keys().size(), 7);
    EXPECT_EQ(object.value("id").toString(), QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    EXPECT_TRUE(object.value("wifiPort").isDouble());
    EXPECT_TRUE(object.value("supportsVirtualDisplay").isBool());
    EXPECT_TRUE(object.value("virtualDisplayHasWindowManagement").isBool());
    EXPECT_TRUE(object.value("resolution").isString());
}

TEST_F(DeviceConfigTest, OneMalformedElementMakesTheWholeListUndecodable)
{
    EXPECT_TRUE(DeviceConfig::decode(QByteArray("[") + validElement + "]").has_value());
    EXPECT_TRUE(DeviceConfig::decode("[]").has_value());
    const QList<QByteArray> broken{
        QByteArray("[") + validElement +
            R"(,{"id":"0F8FAD5B-D9CB-469F-A165-70867728950F","name":"x",)"
            R"("modelPattern":"y","resolution":"r","supportsVirtualDisplay":true,)"
            R"("virtualDisplayHasWindowManagement":true}])",
        QByteArray("[") + QByteArray(validElement).replace("5555", "\"5555\"") + "]",
        QByteArray("[") + QByteArray(validElement).replace("5555", "5555.5") + "]",
        QByteArray("[") + QByteArray(validElement).replace("true", "1") + "]",
        QByteArray("[") + QByteArray(validElement).replace("0F8FAD5B-", "not-a-uuid-") + "]",
        QByteArray("[") +
            QByteArray(validElement)
                .replace("0F8FAD5B-D9CB-469F-A165-70867728950E", "{0F8FAD5B-D9CB-469F-A165-70867728950E}") +
            "]",
        QByteArray("[") + validElement + ",null]",
        QByteArray("{}"),
        QByteArray("not json"),
        QByteArray("\xff\xfe"),
        QByteArray(),
    };
    for (const QByteArray &json : broken)
        EXPECT_FALSE(DeviceConfig::decode(json).has_value()) << json.toStdString();
}

TEST_F(DeviceConfigTest, NoStoredValueLoadsEmptyWithoutBackup)
{
    EXPECT_TRUE(DeviceConfig::load(defaults_).isEmpty());
    EXPECT_TRUE(backupKeys().isEmpty());
}

TEST_F(DeviceConfigTest, UnreadableValueLoadsEmptyButIsKeptBeforeTheNextSave)
{
    const QByteArray damaged = QByteArray("[") + QByteArray(validElement).replace("\"wifiPort\":5555,", "") + "]";
    defaults_.setValue(DeviceConfig::storageKey(), damaged);

    testing::internal::CaptureStdout();
    EXPECT_TRUE(DeviceConfig::load(defaults_).isEmpty());
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("[Lumarient] Saved phone settings could not be read; kept them under"), std::string::npos);

    // Loading the same damaged value again keeps one copy, not two.
    EXPECT_TRUE(DeviceConfig::load(defaults_).isEmpty());
    ASSERT_EQ(backupKeys().size(), 1);

    // The adoption that follows overwrites the list; the user's data is still there.
    DeviceConfig::save(defaults_, {makeConfig(QStringLiteral("New"), QStringLiteral("M"), 5555)});
    EXPECT_EQ(defaults_.value(backupKeys().first()).toByteArray(), damaged);
    EXPECT_EQ(DeviceConfig::load(defaults_).size(), 1);
}

TEST_F(DeviceConfigTest, ValueThatIsNotDataLoadsEmptyAndIsKept)
{
    defaults_.setValue(DeviceConfig::storageKey(), QStringLiteral("[]"));
    EXPECT_TRUE(DeviceConfig::load(defaults_).isEmpty());
    ASSERT_EQ(backupKeys().size(), 1);
    EXPECT_EQ(defaults_.value(backupKeys().first()).toString(), QStringLiteral("[]"));
}

TEST_F(DeviceConfigTest, ValueQtCannotDecodeIsKeptAsTheFileSpellsIt)
{
    const QString path = folder_.filePath(QStringLiteral("damaged.conf"));
    // Damaged variants: garbage Qt cannot read as a value at all, and an entry cut
    // short (which Qt reads as text).
    for (const QByteArray &entry : {QByteArray("@Variant(garbage)"), QByteArray("@Variant(\\0\\0\\0\\x7f\\0\\x1)"),
                                    QByteArray("@Variant(\\0\\0")}) {
        ASSERT_TRUE(writeFile(path, "[General]\ndeviceConfigs=" + entry + "\n"));

        UserDefaults defaults(path);
        // What Qt makes of it, if anything, is kept; otherwise the entry's text.
        const QVariant decoded = defaults.value(DeviceConfig::storageKey());
        if (entry.endsWith(')')) {
            EXPECT_FALSE(decoded.isValid()) << entry.toStdString();
        }
        const QVariant expected = decoded.isValid() ? decoded : QVariant(QString::fromLatin1(entry));
        EXPECT_TRUE(DeviceConfig::load(defaults).isEmpty());
        DeviceConfig::save(defaults, {makeConfig(QStringLiteral("New"), QStringLiteral("M"), 5555)});
        QStringList backups;
        for (const QString &key : UserDefaults(path).keys()) {
            if (key.startsWith(DeviceConfig::unreadableBackupPrefix()))
                backups.append(key);
        }
        ASSERT_EQ(backups.size(), 1) << entry.toStdString();
        EXPECT_EQ(UserDefaults(path).value(backups.first()), expected) << entry.toStdString();
        EXPECT_EQ(DeviceConfig::load(defaults).size(), 1);
        QFile::remove(path);
    }
}
