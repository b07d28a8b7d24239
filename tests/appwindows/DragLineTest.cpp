#include "appwindows/FreeformRestore.h"
#include "appwindows/WatcherLineBuffer.h"
#include "appwindows/WindowWatcherClient.h"

#include <gtest/gtest.h>

using namespace lumarient;

namespace {

using Edge = DragEvent::Edge;

DragEvent drag(std::int64_t task, const char *package, Edge edge, int x, int y, int width, int height,
               std::optional<bool> landscape = std::nullopt)
{
    return {task, QString::fromLatin1(package), edge, x, y, width, height, landscape};
}

TEST(DragLineTest, WellFormedReportsBecomeEvents)
{
    const struct {
        const char *line;
        DragEvent event;
    } cases[] = {
        {"drag 42 com.example.app left 0 120 540 960 land",
         drag(42, "com.example.app", Edge::left, 0, 120, 540, 960, true)},
        {"drag 42 com.example.app left 0 120 540 960", drag(42, "com.example.app", Edge::left, 0, 120, 540, 960)},
        {"drag 42 com.example.app left 0 120 540 960 port",
         drag(42, "com.example.app", Edge::left, 0, 120, 540, 960, false)},
        {"drag 42 com.example.app left 0 120 540 960 sideways",
         drag(42, "com.example.app", Edge::left, 0, 120, 540, 960)},
        {"drag   7  org.notes   bottom -30 5 800 600 land extra words",
         drag(7, "org.notes", Edge::bottom, -30, 5, 800, 600, true)},
        {"drag 1 a right 1 2 3 4 LAND", drag(1, "a", Edge::right, 1, 2, 3, 4)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<DragEvent> parsed = WindowWatcherClient::parseDrag(QString::fromLatin1(c.line));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(*parsed, c.event);
    }
}

TEST(DragLineTest, AnythingElseIsNoEvent)
{
    const char *lines[] = {
        "",
        "LumarientWatcher ready",
        "drag 42 com.example.app left 0 120 540",
        "drag 42 ? left 0 120 540 960",
        "drag 42 com.example.app middle 0 120 540 960",
        "drag 42 com.example.app Left 0 120 540 960",
        "Drag 42 com.example.app left 0 120 540 960",
        "dragged 42 com.example.app left 0 120 540 960",
        "drag x42 com.example.app left 0 120 540 960",
        "drag 42 com.example.app left 0.5 120 540 960",
        "drag 42 com.example.app left 0 120 540 0x10",
        "drag 42 com.example.app left 0 120 - 960",
        "drag 42 com.example.app left 0 120 540 99999999999",
        "drag 99999999999999999999 com.example.app left 0 120 540 960",
        "drag\t42\tcom.example.app\tleft\t0\t120\t540\t960",
    };
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(WindowWatcherClient::parseDrag(QString::fromLatin1(line)), std::nullopt);
    }
}

TEST(DragLineTest, BoundsArgumentIsLeftTopRightBottom)
{
    EXPECT_EQ(drag(42, "p", Edge::left, 0, 120, 540, 960).boundsArgument(), QStringLiteral("0 120 540 1080"));
    EXPECT_EQ(drag(42, "p", Edge::left, -20, 5, 100, 50).boundsArgument(), QStringLiteral("-20 5 80 55"));
    // Sums past the integer range stay exact.
    EXPECT_EQ(drag(1, "p", Edge::top, 2147483647, 0, 1, 1).boundsArgument(),
              QStringLiteral("2147483647 0 2147483648 1"));
}

TEST(DragLineTest, LinesAreReassembledWhereverTheReadsSplitThem)
{
    const QByteArray report = "drag 42 com.example.app left 0 120 540 960 land\n";
    const QString line = QString::fromLatin1(report.chopped(1));
    const QByteArray accented = "caf\xc3\xa9\n";
    const struct {
        const char *name;
        QList<QByteArray> chunks;
        QStringList lines;
    } cases[] = {
        {"whole", {report}, {line}},
        {"in the package name", {report.left(12), report.mid(12)}, {line}},
        {"before the newline", {report.chopped(1), "\n"}, {line}},
        {"one byte each",
         [&] {
             QList<QByteArray> each;
             for (const char c : report)
                 each.append(QByteArray(1, c));
             return each;
         }(),
         {line}},
        {"two lines and a half", {"a\nb\nc"}, {QStringLiteral("a"), QStringLiteral("b")}},
        {"carriage returns", {"a\r\n\r\nb\r", "\n"}, {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        {"inside a character", {accented.left(4), accented.mid(4)}, {QStringLiteral("caf\u00e9")}},
        {"a line that is no text goes alone",
         {"ok\n\xff\xfe", "\nnext\n"},
         {QStringLiteral("ok"), QStringLiteral("next")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WatcherLineBuffer buffer;
        QStringList lines;
        for (const QByteArray &chunk : c.chunks)
            lines += buffer.append(chunk);
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(DragLineTest, OverlongLinesAreDroppedAndTheBufferStaysBounded)
{
    WatcherLineBuffer buffer;
    const QByteArray flood(WatcherLineBuffer::maximumLineLength, 'x');
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(buffer.append(flood).isEmpty());
        EXPECT_LE(buffer.pendingSize(), WatcherLineBuffer::maximumLineLength);
    }
    // The rest of the overlong line goes with it; the next line is whole again.
    EXPECT_EQ(buffer.append("tail\nnext\n"), QStringList{QStringLiteral("next")});
    // A line of exactly the limit is still a line.
    EXPECT_EQ(buffer.append(flood + '\n'), QStringList{QString::fromLatin1(flood)});
}

TEST(DragLineTest, FreeformIsPutBackInTheFormItsOldValueNeeds)
{
    const QString serial = QStringLiteral("R58M");
    const QStringList head{QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("settings")};
    const QStringList deleteForm = head + QStringList{QStringLiteral("delete"), QStringLiteral("global"),
                                                      QStringLiteral("enable_freeform_support")};
    const auto put = [&](const char *value) {
        return head + QStringList{QStringLiteral("put"), QStringLiteral("global"),
                                  QStringLiteral("enable_freeform_support"), QString::fromLatin1(value)};
    };
    const struct {
        std::optional<QString> previous;
        std::optional<QStringList> arguments;
    } cases[] = {
        {QStringLiteral("1"), std::nullopt},
        {QStringLiteral("null"), deleteForm},
        {std::nullopt, deleteForm},
        {QString(), deleteForm},
        {QStringLiteral("0"), put("0")},
        {QStringLiteral("2"), put("2")},
        // A value that would run as a command on the phone stays one word.
        {QStringLiteral("0; reboot"), put("'0; reboot'")},
        {QStringLiteral("it's"), put("'it'\\''s'")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.previous.value_or(QStringLiteral("(none)")).toStdString());
        EXPECT_EQ(freeformRestoreArguments(serial, c.previous), c.arguments);
    }
}

} // namespace
