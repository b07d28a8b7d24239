// The entry point of the loadable encoder module (see platform/VideoEncoderModule.h).

#include "platform/VideoEncoderModule.h"
#include "platform/libav/LibavVideoEncoder.h"

extern "C" __attribute__((visibility("default"))) lumarient::VideoEncoderFactory *lumarient_video_encoder_factory_v1()
{
    return new lumarient::libav::LibavVideoEncoderFactory();
}
