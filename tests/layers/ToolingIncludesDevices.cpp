// Must not compile: tooling sits below devices, so it cannot see its headers.
#include "devices/DeviceManager.h"
