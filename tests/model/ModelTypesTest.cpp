#include "model/ConnectedDevice.h"
#include "model/LumarientError.h"
#include "model/SessionKind.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(SessionKind, OnlyTheExactLabelsConvert)
{
    EXPECT_EQ(sessionKindFromRawValue(QStringLiteral("Desktop (invisible)")), SessionKind::virtualDesktop);
    EXPECT_EQ(sessionKindFromRawValue(QStringLiteral("Mirror")), SessionKind::mirror);
    EXPECT_EQ(sessionKindFromRawValue(QStringLiteral("desktop")), std::nullopt);
    EXPECT_EQ(sessionKindFromRawValue(QStringLiteral("Desktop ")), std::nullopt);
    for (SessionKind kind : {SessionKind::desktop, SessionKind::virtualDesktop, SessionKind::mirror})
        EXPECT_EQ(sessionKindFromRawValue(rawValue(kind)), kind);
}

TEST(LumarientError, DescriptionsAreTheUsersTexts)
{
    EXPECT_EQ(LumarientError::message(QString()).description(), QString());
    EXPECT_EQ(LumarientError::message(QStringLiteral("failed to connect")).description(),
              QStringLiteral("failed to connect"));
    EXPECT_STREQ(LumarientError::overlayDidNotAppear().what(), "Overlay display did not appear on the phone");
}
