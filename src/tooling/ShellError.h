#pragma once

#include <QString>

#include <cstdint>
#include <exception>

namespace lumarient {

// The failure of a short-lived child process: it either could not be started or
// it exited with a status other than 0.
class ShellError : public std::exception {
public:
    enum class Kind { launchFailed, nonZeroExit };

    // `text` is the executable path, ": " and the system's error description.
    static ShellError launchFailed(const QString &text);
    static ShellError nonZeroExit(const QString &command, int32_t code, const QString &output);

    Kind kind() const { return kind_; }
    // launchFailed: the path and the system's reason.
    const QString &launchText() const { return text_; }
    // nonZeroExit: the path and arguments joined by single spaces.
    const QString &command() const { return text_; }
    int32_t code() const { return code_; }
    const QString &output() const { return output_; }

    // The text shown to the user.
    QString description() const;
    const char *what() const noexcept override;

private:
    ShellError(Kind kind, QString text, int32_t code, QString output);

    Kind kind_;
    QString text_;
    int32_t code_ = 0;
    QString output_;
    QByteArray what_;
};

} // namespace lumarient
