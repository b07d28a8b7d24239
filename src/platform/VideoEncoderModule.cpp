#include "platform/VideoEncoderModule.h"

#include "platform/Log.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace lumarient {

namespace {

void logProblem(const QString &message)
{
    logLine(QStringLiteral("VideoEncoder"), message + QStringLiteral("; the second display gets no picture"));
}

} // namespace

VideoEncoderModule::VideoEncoderModule(QStringList candidates) : candidates_(std::move(candidates))
{
}

VideoEncoderModule::~VideoEncoderModule() = default;

std::unique_ptr<VideoEncoder> VideoEncoderModule::open(const VideoEncoderSettings &settings)
{
    VideoEncoderFactory *encoders = factory();
    return encoders != nullptr ? encoders->open(settings) : nullptr;
}

bool VideoEncoderModule::isLoaded() const
{
    const std::lock_guard lock(mutex_);
    return factory_ != nullptr;
}

VideoEncoderFactory *VideoEncoderModule::factory()
{
    const std::lock_guard lock(mutex_);
    if (factory_)
        return factory_.get();
    QString path;
    for (const QString &candidate : candidates_) {
        if (QFileInfo(candidate).isFile()) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty()) {
        logProblem(QStringLiteral("No H.264 encoder module at %1").arg(candidates_.join(QStringLiteral(", "))));
        return nullptr;
    }
    // Never closed: see the class comment.
    void *module = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        logProblem(
            QStringLiteral("Could not load the H.264 encoder module: %1").arg(QString::fromLocal8Bit(::dlerror())));
        return nullptr;
    }
    const auto entry = reinterpret_cast<VideoEncoderModuleEntry>(::dlsym(module, videoEncoderModuleEntry));
    if (entry == nullptr) {
        logProblem(QStringLiteral("%1 is not an H.264 encoder module of this version").arg(path));
        return nullptr;
    }
    factory_.reset(entry());
    if (!factory_) {
        logProblem(QStringLiteral("The H.264 encoder module %1 made no encoder").arg(path));
        return nullptr;
    }
    logLine(QStringLiteral("VideoEncoder"), QStringLiteral("loaded the H.264 encoder module %1").arg(path));
    return factory_.get();
}

} // namespace lumarient
