#include "appwindows/ActivityDump.h"

#include <QRegularExpression>
#include <QStringList>

namespace lumarient::ActivityDump {
namespace {

// Among the task's line and the ones after it, as many as hold one task's block.
constexpr qsizetype boundsWindow = 40;

const QRegularExpression &displayHeader()
{
    static const QRegularExpression pattern(QStringLiteral(R"(Display #(\d+))"));
    return pattern;
}

const QRegularExpression &taskLine()
{
    static const QRegularExpression pattern(QStringLiteral(R"(\* Task\{\w+ #(\d+) )"));
    return pattern;
}

const QRegularExpression &boundsPattern()
{
    static const QRegularExpression pattern(QStringLiteral(R"(mBounds=Rect\((-?\d+), (-?\d+) - (-?\d+), (-?\d+)\))"));
    return pattern;
}

const QRegularExpression &newDisplayPattern()
{
    static const QRegularExpression pattern(QStringLiteral(R"(New display: (\d+)x(\d+)\/\d+ \(id=(\d+)\))"));
    return pattern;
}

QStringList nonEmptyLines(const QString &dump)
{
    return dump.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The capture as an int; none when it does not fit one.
std::optional<int> number(const QRegularExpressionMatch &match, int group)
{
    bool ok = false;
    const int value = match.captured(group).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// The package as a whole word after the ':' of "A=uid:package", so that
// com.example.note is not taken for com.example.notes.
bool namesPackage(const QString &line, const QString &package)
{
    const QString needle = QLatin1Char(':') + package;
    for (qsizetype at = line.indexOf(needle); at >= 0; at = line.indexOf(needle, at + 1)) {
        const qsizetype end = at + needle.size();
        if (end == line.size() || line[end].isSpace() || line[end] == QLatin1Char('/') || line[end] == QLatin1Char('}'))
            return true;
    }
    return false;
}

} // namespace

TaskState taskState(const QString &dump, int taskID)
{
    const QStringList lines = nonEmptyLines(dump);
    const QString marker = QLatin1Char('#') + QString::number(taskID) + QLatin1Char(' ');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (!line.contains(QStringLiteral("* Task{")) || !line.contains(marker))
            continue;
        TaskState state;
        state.isFreeform = line.contains(QStringLiteral("mode=freeform"));
        for (qsizetype j = i; j < std::min(lines.size(), i + boundsWindow); ++j) {
            const QRegularExpressionMatch match = boundsPattern().match(lines[j]);
            if (match.hasMatch()) {
                state.bounds =
                    QStringList{match.captured(1), match.captured(2), match.captured(3), match.captured(4)}.join(
                        QLatin1Char(' '));
                break;
            }
        }
        return state;
    }
    return {};
}

std::optional<int> taskID(const QString &dump, int displayID, const QString &package)
{
    std::optional<int> display;
    for (const QString &line : nonEmptyLines(dump)) {
        const QRegularExpressionMatch header = displayHeader().match(line);
        if (header.hasMatch()) {
            display = number(header, 1);
            continue;
        }
        if (display != displayID || !line.contains(QStringLiteral("* Task{")) || !namesPackage(line, package))
            continue;
        const QRegularExpressionMatch task = taskLine().match(line);
        if (task.hasMatch()) {
            if (const std::optional<int> id = number(task, 1))
                return id;
        }
    }
    return std::nullopt;
}

std::optional<NewDisplay> parseNewDisplay(const QString &line)
{
    const QRegularExpressionMatch match = newDisplayPattern().match(line);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<int> width = number(match, 1);
    const std::optional<int> height = number(match, 2);
    const std::optional<int> id = number(match, 3);
    if (!width || !height || !id || *width <= 0 || *height <= 0)
        return std::nullopt;
    return NewDisplay{*id, *width, *height};
}

} // namespace lumarient::ActivityDump
