#include "ui/SecondDisplayMenu.h"

namespace lumarient {

SecondDisplayMenuEntry secondDisplayMenuEntry(const std::optional<QString> &activeSerial, const QString &deviceSerial,
                                              bool hasOtherActivity)
{
    using Kind = SecondDisplayMenuEntry::Kind;
    if (activeSerial && *activeSerial == deviceSerial) {
        return {Kind::stop, QStringLiteral("Stop Second Display"), true};
    }
    if (hasOtherActivity) {
        return {Kind::none, QString(), false};
    }
    if (activeSerial) {
        return {Kind::busy, QStringLiteral("Second display busy on another phone"), true};
    }
    return {Kind::start, QStringLiteral("Use as Second Display"), false};
}

} // namespace lumarient
