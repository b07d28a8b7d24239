#include "model/LumarientError.h"

namespace lumarient {

LumarientError::LumarientError(Kind kind, QString text) : kind_(kind), text_(std::move(text))
{
    what_ = description().toUtf8();
}

LumarientError LumarientError::message(const QString &text)
{
    return LumarientError(Kind::message, text);
}

LumarientError LumarientError::overlayDidNotAppear()
{
    return LumarientError(Kind::overlayDidNotAppear, QString());
}

LumarientError LumarientError::notOnWifi()
{
    return LumarientError(Kind::notOnWifi, QString());
}

QString LumarientError::description() const
{
    switch (kind_) {
    case Kind::message:
        return text_;
    case Kind::overlayDidNotAppear:
        return QStringLiteral("Overlay display did not appear on the phone");
    case Kind::notOnWifi:
        return QStringLiteral("Phone is not on Wi-Fi — join the same network as this computer");
    }
    return QString();
}

const char *LumarientError::what() const noexcept
{
    return what_.constData();
}

} // namespace lumarient
