#include "detection/cliprequest.h"

#include <algorithm>

std::string encoderDescription(const ClipCompression& compression) {
    const int quality = std::clamp(compression.quality, 1, 100);
    if (compression.codec == ClipCodec::Mpeg4) {
        // Constant quantizer from 2 (best) to 31 (smallest).
        const int quantizer = 2 + (100 - quality) * 29 / 99;
        return "avenc_mpeg4 pass=quant quantizer=" + std::to_string(quantizer);
    }
    return "jpegenc quality=" + std::to_string(quality);
}
