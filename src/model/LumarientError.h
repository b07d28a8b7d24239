#pragma once

#include <QString>

#include <exception>

namespace lumarient {

// The system's own failures.
class LumarientError : public std::exception {
public:
    enum class Kind { message, overlayDidNotAppear, notOnWifi };

    static LumarientError message(const QString &text);
    static LumarientError overlayDidNotAppear();
    static LumarientError notOnWifi();

    Kind kind() const { return kind_; }
    // The text shown to the user.
    QString description() const;
    const char *what() const noexcept override;

private:
    LumarientError(Kind kind, QString text);

    Kind kind_;
    QString text_;
    QByteArray what_;
};

} // namespace lumarient
