#include "app/EncoderModuleLocation.h"

namespace lumarient {

QStringList videoEncoderModuleCandidates(const QString &executableFolder, const QString &installPrefix)
{
    const QString file = QStringLiteral(LUMARIENT_VIDEO_ENCODER_MODULE);
    return {executableFolder + QLatin1Char('/') + file,
            installPrefix + QStringLiteral("/" LUMARIENT_MODULE_DIR "/") + file};
}

} // namespace lumarient
