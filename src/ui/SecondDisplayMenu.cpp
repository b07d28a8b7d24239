#include "ui/SecondDisplayMenu.h"

namespace lumarient {

SecondDisplayMenuEntry secondDisplayMenuEntry(const std::optional<QString> &activeSerial, const QString &deviceSerial,
                                              bool hasOtherActivity)
{
    using Kind = SecondDisplayMenuEntry::Kind;
    if (activeSerial && *activeSerial == deviceSerial) {
        return {Kind::stop, QStringLiteral("Stop Second Display")};
    }
    if (hasOtherActivity) {
        return {Kind::none, QString()};
    }
    if (activeSerial) {
        return {Kind::busy, QStringLiteral("Second display busy on another phone")};
    }
    return {Kind::start, QStringLiteral("Use as Second Display")};
}

} // namespace lumarient
