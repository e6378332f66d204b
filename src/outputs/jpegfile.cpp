#include "outputs/jpegfile.h"

#include <QImage>

#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

namespace {

// libjpeg reports errors by calling error_exit, which must not return: jump back instead of
// letting it end the program.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jumpBack(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Everything that needs cleaning up lives outside the setjmp frame.
bool compress(const QImage& rgb, int quality, unsigned char** data, unsigned long* size) {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpBack;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, data, size);
    info.image_width = static_cast<JDIMENSION>(rgb.width());
    info.image_height = static_cast<JDIMENSION>(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::string encodeJpeg(const QImage& picture, int quality) {
    if (picture.isNull())
        return {};
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    const bool compressed = compress(rgb, quality, &data, &size);
    std::string bytes = compressed && data ? std::string(reinterpret_cast<char*>(data), size) : "";
    std::free(data);
    return bytes;
}
