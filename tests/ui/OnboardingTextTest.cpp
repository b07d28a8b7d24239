#include "ui/OnboardingStatus.h"
#include "ui/RichText.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(RichText, BoldSpansAreMarkedAndTheRestEscaped)
{
    EXPECT_EQ(boldSpansToHtml(QStringLiteral("Open **Settings → About phone** and tap **Build number**.")),
              QStringLiteral("Open <b>Settings → About phone</b> and tap <b>Build number</b>."));
    EXPECT_EQ(boldSpansToHtml(QStringLiteral("a <b> & **x<y**")), QStringLiteral("a &lt;b&gt; &amp; <b>x&lt;y</b>"));
    EXPECT_EQ(boldSpansToHtml(QStringLiteral("unpaired ** marker")), QStringLiteral("unpaired ** marker"));
    EXPECT_EQ(boldSpansToHtml(QString()), QString());
}

TEST(OnboardingStatus, FollowsTheDeviceLists)
{
    DeviceConfig galaxy;
    galaxy.name = QStringLiteral("Galaxy S10");
    galaxy.modelPattern = QStringLiteral("SM_G973F");
    const ConnectedDevice pending{QStringLiteral("AAA"), QString(), false, DeviceState::unauthorized};
    const ConnectedDevice cable{QStringLiteral("R58M"), QStringLiteral("SM_G973F"), false, DeviceState::ready};
    const ConnectedDevice wifi{QStringLiteral("192.168.1.23:5555"), QStringLiteral("SM_G973F"), true,
                               DeviceState::ready};
    const ConnectedDevice pixel{QStringLiteral("P8"), QStringLiteral("Pixel_8_Pro"), false, DeviceState::ready};

    EXPECT_EQ(onboardingStatus({}, {}).kind, OnboardingStatus::Kind::waiting);
    EXPECT_EQ(onboardingStatus({}, {}).text, QStringLiteral("Waiting for a phone…"));
    EXPECT_EQ(
        onboardingStatus({pending}, {}),
        (OnboardingStatus{OnboardingStatus::Kind::pending, QStringLiteral("Almost there — tap Allow on your phone")}));
    // Two connections of one model list it once; models without a configuration show with spaces.
    EXPECT_EQ(
        onboardingStatus({pending, cable, pixel, wifi}, {galaxy}),
        (OnboardingStatus{OnboardingStatus::Kind::connected, QStringLiteral("Connected: Galaxy S10, Pixel 8 Pro")}));
}
