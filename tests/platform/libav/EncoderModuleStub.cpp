// Encoder modules that load but cannot serve: one of another contract's
// version, one whose entry makes no factory.

namespace lumarient {
class VideoEncoderFactory;
}

#ifdef WITHOUT_FACTORY
extern "C" __attribute__((visibility("default"))) lumarient::VideoEncoderFactory *lumarient_video_encoder_factory_v1()
{
    return nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) lumarient::VideoEncoderFactory *lumarient_video_encoder_factory_v0()
{
    return nullptr;
}
#endif
