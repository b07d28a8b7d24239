#pragma once

#include <QString>

#include <optional>

namespace lumarient {

// The second display's entry in one phone's menu section.
struct SecondDisplayMenuEntry {
    enum class Kind {
        // Nothing from the second display (another activity of this phone decides the section).
        none,
        // Button "Stop Second Display"; the section ends after it.
        stop,
        // Text "Second display busy on another phone"; the section ends after it.
        busy,
        // Button "Use as Second Display" among the start entries.
        start,
    };
    Kind kind = Kind::none;
    QString text;
};

// `activeSerial`: the phone using the second display, if any. `deviceSerial`:
// this section's connected phone. `hasOtherActivity`: this configuration has a
// screen session or keyboard-and-mouse sharing running (their stop entries come
// before the busy text).
SecondDisplayMenuEntry secondDisplayMenuEntry(const std::optional<QString> &activeSerial, const QString &deviceSerial,
                                              bool hasOtherActivity);

} // namespace lumarient
