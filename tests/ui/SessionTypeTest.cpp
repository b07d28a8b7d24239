#include "platform/SessionType.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(SessionType, ReadFromTheSessionsVariablesWithAnOverride)
{
    const struct {
        const char *what;
        QStringList variables;
        SessionType expected;
    } cases[] = {
        {"nothing set", {}, SessionType::x11},
        {"an X11 session", {"XDG_SESSION_TYPE=x11", "DISPLAY=:0"}, SessionType::x11},
        {"a Wayland session", {"XDG_SESSION_TYPE=wayland"}, SessionType::wayland},
        {"a Wayland display without a session type", {"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"}, SessionType::wayland},
        {"an empty Wayland display", {"WAYLAND_DISPLAY="}, SessionType::x11},
        {"forced to X11",
         {"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-0", "LUMARIENT_SESSION_TYPE=X11"},
         SessionType::x11},
        {"forced to Wayland", {"XDG_SESSION_TYPE=x11", "LUMARIENT_SESSION_TYPE=wayland"}, SessionType::wayland},
        {"an unknown override is ignored",
         {"XDG_SESSION_TYPE=wayland", "LUMARIENT_SESSION_TYPE=mir"},
         SessionType::wayland},
    };
    for (const auto &[what, variables, expected] : cases) {
        QProcessEnvironment environment;
        for (const QString &variable : variables)
            environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        EXPECT_EQ(sessionTypeOf(environment), expected) << what;
    }
}
