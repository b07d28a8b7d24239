#pragma once

#include "model/ConnectedDevice.h"

#include <QList>
#include <QString>

namespace lumarient {

// Parses what `adb devices -l` prints. The first non-empty line (the tool's
// header, whatever it says) is skipped; lines whose state word is not one of
// "device", "unauthorized", "authorizing" or "offline" are skipped.
QList<ConnectedDevice> parseDeviceList(const QString &output);
// The same lines without a header, as the adb server sends them; the first
// `skippedLines` non-empty lines are skipped.
QList<ConnectedDevice> parseDeviceLines(const QString &output, qsizetype skippedLines = 0);

// A serial names a network connection when it is a host:port endpoint or an
// mDNS service name.
bool isWifiSerial(const QString &serial);

} // namespace lumarient
