#pragma once

#include <QString>
#include <QStringList>

namespace lumarient {

// Where the app looks for its H.264 encoder module, in order: beside the
// executable (a build tree), then in the installation's private library folder
// (<prefix>/lib/lumarient/ in the package).
QStringList videoEncoderModuleCandidates(const QString &executableFolder, const QString &installPrefix);

} // namespace lumarient
