// Must not compile: subsystems reach the platform only through its interfaces.
#include "platform/x11/XcbConnection.h"
