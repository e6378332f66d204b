#include "detection/yuvconversion.h"

#include <cstring>

#include "detection/rgbrow.h"

namespace {

std::int16_t term(int value, int factor) {
    const auto centred = static_cast<std::uint8_t>(value - 128);
    const auto word = static_cast<std::int16_t>(static_cast<std::uint16_t>(centred << 8 | centred));
    return static_cast<std::int16_t>((word * factor) >> 16);
}

YuvTerms makeTerms(YuvColours colours) {
    const YuvCoefficients c = yuvCoefficients(colours);
    YuvTerms terms;
    for (int value = 0; value < 256; ++value) {
        terms.luma[value] = term(value, c.luma);
        terms.blueFromU[value] = term(value, c.blueFromU);
        terms.greenFromU[value] = term(value, c.greenFromU);
        terms.greenFromV[value] = term(value, c.greenFromV);
        terms.redFromV[value] = term(value, c.redFromV);
    }
    return terms;
}

}  // namespace

YuvCoefficients yuvCoefficients(YuvColours colours) {
    switch (colours) {
        case YuvColours::Bt601Full:
            return {256, 454, -88, -183, 359};
        case YuvColours::Bt601Limited:
            return {298, 516, -100, -208, 409};
        case YuvColours::Bt709Limited:
            return {298, 541, -55, -136, 459};
    }
    return {};
}

const YuvTerms& yuvTerms(YuvColours colours) {
    static const std::array<YuvTerms, 3> all{makeTerms(YuvColours::Bt601Full),
                                             makeTerms(YuvColours::Bt601Limited),
                                             makeTerms(YuvColours::Bt709Limited)};
    return all[static_cast<std::size_t>(colours)];
}

void convertToBgrx(const FrameView& picture, std::uint8_t* out, int outStride) {
    for (int row = 0; row < picture.height; ++row) {
        std::uint8_t* target = out + static_cast<std::ptrdiff_t>(row) * outStride;
        const std::uint8_t* pixels =
            picture.pixels + static_cast<std::ptrdiff_t>(row) * picture.stride;
        if (picture.layout == PixelLayout::Bgrx) {
            std::memcpy(target, pixels, static_cast<std::size_t>(picture.width) * 4);
            continue;
        }
        if (picture.layout == PixelLayout::Rgb) {
            convertRgbRow(pixels, picture.width, target);
            continue;
        }
        const YuvTerms& terms = yuvTerms(picture.colours);
        const std::uint8_t* u =
            picture.uPlane + static_cast<std::ptrdiff_t>(row / 2) * picture.uStride;
        const std::uint8_t* v =
            picture.vPlane + static_cast<std::ptrdiff_t>(row / 2) * picture.vStride;
        for (int x = 0; x < picture.width; ++x)
            convertYuvPoint(terms, pixels[x], u[x / 2], v[x / 2], target + x * 4);
    }
}
