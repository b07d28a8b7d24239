#pragma once

// The phone's display activity: "am start -n ...DisplayActivity --ei w W --ei h H"
// starts the display receiver stand-in (the `display-receiver` program next to
// phone-sim), and the display-stop broadcast ends it.

#include "SimState.h"

#include <optional>
#include <string>
#include <utility>

namespace phonesim {

// The size the words after "am" ask for when they start the display activity.
std::optional<std::pair<int, int>> displayActivitySize(const Words &amWords);
// True for the words after "am" of the display-stop broadcast.
bool isDisplayStopBroadcast(const Words &amWords);

// Starts the receiver detached from this process, recording what it gets in
// <folder>/display-receiver.log, its process id in <folder>/display-receiver.pid.
// A receiver that still runs is stopped first. `program` defaults to the
// `display-receiver` next to this executable.
bool launchDisplayReceiver(const std::string &folder, int width, int height, int port = 38018,
                           const std::string &program = {});
// Terminates the receiver started above, if it still runs.
bool stopDisplayReceiver(const std::string &folder);

} // namespace phonesim
