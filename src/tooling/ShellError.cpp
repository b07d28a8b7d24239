#include "tooling/ShellError.h"

namespace lumarient {

ShellError::ShellError(Kind kind, QString text, int32_t code, QString output)
    : kind_(kind), text_(std::move(text)), code_(code), output_(std::move(output))
{
    what_ = description().toUtf8();
}

ShellError ShellError::launchFailed(const QString &text)
{
    return ShellError(Kind::launchFailed, text, 0, QString());
}

ShellError ShellError::nonZeroExit(const QString &command, int32_t code, const QString &output)
{
    return ShellError(Kind::nonZeroExit, command, code, output);
}

QString ShellError::description() const
{
    if (kind_ == Kind::launchFailed)
        return QStringLiteral("Could not launch ") + text_;
    QString text = text_ + QStringLiteral(" exited ") + QString::number(code_);
    const QString trimmed = output_.trimmed();
    if (!trimmed.isEmpty())
        text += QStringLiteral(": ") + trimmed;
    return text;
}

const char *ShellError::what() const noexcept
{
    return what_.constData();
}

} // namespace lumarient
