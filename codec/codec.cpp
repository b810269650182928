#include "codec/codec.h"

#include "exiv2codec.h"

namespace codec {

CodecFactory defaultCodecFactory() {
    return {[](QStringView progId) -> std::unique_ptr<ICodec> {
        if (progId != QLatin1String(kProgId))
            return nullptr;
        try {
            return std::make_unique<Exiv2Codec>();
        } catch (...) {
            return nullptr;
        }
    }};
}

} // namespace codec
