#include "outputs/pngimage.h"

#include <png.h>

QImage decodePng(const unsigned char* data, std::size_t size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return {};
    image.format = PNG_FORMAT_RGB;
    QImage picture(static_cast<int>(image.width), static_cast<int>(image.height),
                   QImage::Format_RGB888);
    if (picture.isNull()) {
        png_image_free(&image);
        return {};
    }
    // The row stride is counted in components, which for 8-bit RGB are bytes.
    if (!png_image_finish_read(&image, nullptr, picture.bits(),
                               static_cast<png_int_32>(picture.bytesPerLine()), nullptr)) {
        png_image_free(&image);
        return {};
    }
    return picture;
}
