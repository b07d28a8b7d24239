#include "appwindows/ActivityDump.h"
#include "appwindows/AndroidApp.h"
#include "appwindows/TaskBounds.h"
#include "tooling/ADB.h"

#include <gtest/gtest.h>

using namespace lumarient;

namespace {

struct FitCase {
    const char *name;
    QString bounds;
    std::optional<ScreenSize> screen;
    std::optional<bool> capturedLandscape;
    QString expected;
};

TEST(FitToScreen, Table)
{
    const ScreenSize landscape{2400, 1080};
    const ScreenSize portrait{1080, 2400};
    const FitCase cases[] = {
        // The phone turned to landscape since the bounds were taken in portrait: axes swap.
        {"turned to landscape", "100 200 900 1400", landscape, false, "200 100 1400 900"},
        {"sticks out on the left", "-50 0 500 400", portrait, std::nullopt, "0 0 550 400"},
        {"same orientation, fits already", "100 200 900 1400", portrait, false, "100 200 900 1400"},
        {"taller than the screen", "0 -100 500 2700", portrait, std::nullopt, "0 0 500 2400"},
        {"beyond the bottom right", "900 2300 1300 2700", portrait, std::nullopt, "680 2000 1080 2400"},
        {"turned to portrait", "300 100 1500 900", portrait, true, "100 300 900 1500"},
        {"captured landscape, still landscape", "300 100 1500 900", landscape, true, "300 100 1500 900"},
        {"unknown screen", "1 2 3 4", std::nullopt, false, "1 2 3 4"},
        {"three numbers", "1 2 3", portrait, std::nullopt, "1 2 3"},
        {"double space", "1  2 3 4", portrait, std::nullopt, "1  2 3 4"},
        {"not numbers", "a b c d", portrait, std::nullopt, "a b c d"},
        {"empty", "", portrait, std::nullopt, ""},
        {"inside out", "500 0 100 400", portrait, std::nullopt, "500 0 100 400"},
        {"beyond int", "0 0 99999999999 10", portrait, std::nullopt, "0 0 99999999999 10"},
        {"extreme ints", "-2147483648 -2147483648 2147483647 2147483647", portrait, std::nullopt, "0 0 1080 2400"},
    };
    for (const FitCase &c : cases)
        EXPECT_EQ(TaskBounds::fitToScreen(c.bounds, c.screen, c.capturedLandscape), c.expected) << c.name;
}

TEST(NewDisplayLine, Table)
{
    using ActivityDump::NewDisplay;
    const std::pair<QString, std::optional<NewDisplay>> cases[] = {
        {"[server] INFO: New display: 1080x2400/160 (id=12)", NewDisplay{12, 1080, 2400}},
        {"New display: 540x960/320 (id=3)", NewDisplay{3, 540, 960}},
        {"INFO: New display: 1920x1080/160 (id=7) trailing", NewDisplay{7, 1920, 1080}},
        {"New display: 1080x2400 (id=12)", std::nullopt},
        {"New display: 1080x2400/160 (id=)", std::nullopt},
        {"New display: x2400/160 (id=12)", std::nullopt},
        {"New display: -1080x2400/160 (id=12)", std::nullopt},
        {"New display: 0x2400/160 (id=12)", std::nullopt},
        {"New display: 99999999999x2400/160 (id=12)", std::nullopt},
        {"New display: 1080x2400/160 (id=99999999999)", std::nullopt},
        {"new display: 1080x2400/160 (id=12)", std::nullopt},
        {"", std::nullopt},
        {QString(100000, QLatin1Char('9')), std::nullopt},
    };
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(ActivityDump::parseNewDisplay(line), expected) << line.left(60).toStdString();
}

TEST(AndroidAppLabel, Table)
{
    const std::pair<QString, QString> cases[] = {
        {"com.example.notes", "Notes"},     {"notes", "Notes"},   {"org.mozilla.firefox", "Firefox"},
        {"com.example.Already", "Already"}, {"com.example.", ""}, {"", ""},
        {"com.example.über", "Über"},
    };
    for (const auto &[package, label] : cases)
        EXPECT_EQ((AndroidApp{1, package}.label()), label) << package.toStdString();
}

TEST(AndroidAppPackage, OnlyPackageNamesPass)
{
    for (const char *good : {"com.example.notes", "a", "com.android_x.app2"})
        EXPECT_TRUE(AndroidApp::isValidPackage(QString::fromLatin1(good))) << good;
    for (const char *bad : {"", "com.x;reboot", "com.x app", "$(id)", "com.x\n", "?", "com/x", "a'b"})
        EXPECT_FALSE(AndroidApp::isValidPackage(QString::fromLatin1(bad))) << bad;
    EXPECT_FALSE(AndroidApp::isValidPackage(QString(300, QLatin1Char('a'))));
}

// A dump as the activity manager writes it, cut down to what matters.
const QString dump = QStringLiteral(
    "ACTIVITY MANAGER ACTIVITIES (dumpsys activity activities)\n"
    "  * Task{aaa #99 type=standard A=10001:com.before.display U=0 mode=fullscreen}\n"
    "Display #0 (activities from top to bottom):\n"
    "  * Task{5a3c02a #42 type=standard A=10142:com.example.notes U=0 visible=true mode=freeform sz=1}\n"
    "    mLastNonFullscreenBounds=Rect(1, 2 - 3, 4)\n"
    "\n"
    "    mBounds=Rect(100, 200 - 900, 1400)\n"
    "  * Task{5a3c004 #4 type=standard A=10104:com.example.note U=0 visible=true mode=fullscreen sz=1}\n"
    "    mBounds=Rect(-20, 0 - 1080, 2400)\n"
    "Display #12 (activities from top to bottom):\n"
    "  * Task{5a3c02b #43 type=standard A=10143:com.example.mail U=0 visible=true mode=fullscreen sz=1}\n"
    "    mBounds=Rect(0, 0 - 1080, 2400)\n");

TEST(ActivityDump, TaskState)
{
    using ActivityDump::TaskState;
    EXPECT_EQ(ActivityDump::taskState(dump, 42), (TaskState{QStringLiteral("100 200 900 1400"), true}));
    // "#4 " is not "#42 ".
    EXPECT_EQ(ActivityDump::taskState(dump, 4), (TaskState{QStringLiteral("-20 0 1080 2400"), false}));
    EXPECT_EQ(ActivityDump::taskState(dump, 7), TaskState{});
    EXPECT_EQ(ActivityDump::taskState(QString(), 42), TaskState{});

    // Bounds further than 40 lines from the task line belong to someone else.
    QString far = QStringLiteral("  * Task{abc #5 type=standard A=1:com.a U=0 mode=freeform}\n");
    for (int i = 0; i < 39; ++i)
        far += QStringLiteral("    line %1\n").arg(i);
    EXPECT_EQ(ActivityDump::taskState(far + QStringLiteral("    mBounds=Rect(1, 2 - 3, 4)\n"), 5),
              (TaskState{std::nullopt, true}));
    EXPECT_EQ(ActivityDump::taskState(far.left(far.lastIndexOf(QStringLiteral("    line 38"))) +
                                          QStringLiteral("    mBounds=Rect(1, 2 - 3, 4)\n"),
                                      5),
              (TaskState{QStringLiteral("1 2 3 4"), true}));
}

TEST(ActivityDump, TaskOfAPackageOnADisplay)
{
    EXPECT_EQ(ActivityDump::taskID(dump, 0, QStringLiteral("com.example.notes")), 42);
    // A package that only starts like another one's name is not that one.
    EXPECT_EQ(ActivityDump::taskID(dump, 0, QStringLiteral("com.example.note")), 4);
    EXPECT_EQ(ActivityDump::taskID(dump, 0, QStringLiteral("com.example.no")), std::nullopt);
    EXPECT_EQ(ActivityDump::taskID(dump, 12, QStringLiteral("com.example.mail")), 43);
    EXPECT_EQ(ActivityDump::taskID(dump, 0, QStringLiteral("com.example.mail")), std::nullopt);
    // Lines before the first display header belong to no display.
    EXPECT_EQ(ActivityDump::taskID(dump, 0, QStringLiteral("com.before.display")), std::nullopt);
    EXPECT_EQ(ActivityDump::taskID(QStringLiteral("Display #0\n  * Task{x #99999999999 A=1:com.a U=0}\n"), 0,
                                   QStringLiteral("com.a")),
              std::nullopt);
}

} // namespace
