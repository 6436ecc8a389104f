// The default cover: a plain book drawn in code and encoded with libjpeg once.

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>  // needs size_t and FILE declared first

#include "demo/demo_pages.h"

namespace novel {
namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 136;

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void onJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

std::vector<uint8_t> drawCover() {
    std::vector<uint8_t> rgb(kWidth * kHeight * 3);
    auto put = [&](int x, int y, int r, int g, int b) {
        uint8_t* p = &rgb[(y * kWidth + x) * 3];
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
    };
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Dark red, fading downwards; the spine on the left is darker still.
            int r = 150 - y * 70 / kHeight, g = 40 - y * 20 / kHeight, b = 38 - y * 18 / kHeight;
            if (x < 10) r = r * 2 / 3, g = g * 2 / 3, b = b * 2 / 3;
            if (x == 10) r = 215, g = 180, b = 90;
            bool plate = x >= 22 && x <= 89 && y >= 26 && y <= 64;
            bool plateEdge = plate && (x == 22 || x == 89 || y == 26 || y == 64);
            if (plate) r = 236, g = 224, b = 196;
            if (plateEdge) r = 180, g = 140, b = 60;
            bool titleLine = x >= 32 && x <= 79 && (y == 38 || y == 39 || y == 50 || y == 51);
            if (titleLine) r = 90, g = 40, b = 30;
            bool band = x > 10 && (y == 112 || y == 116);
            if (band) r = 215, g = 180, b = 90;
            put(x, y, r, g, b);
        }
    }
    return rgb;
}

Bytes encodeJpeg(const std::vector<uint8_t>& rgb) {
    jpeg_compress_struct info{};
    JpegError error{};
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onJpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(memory);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &memory, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 88, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[info.next_scanline * kWidth * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes out(reinterpret_cast<const char*>(memory), size);
    jpeg_destroy_compress(&info);
    std::free(memory);
    return out;
}

}  // namespace

const Bytes& demoCoverJpeg() {
    static const Bytes jpeg = encodeJpeg(drawCover());
    return jpeg;
}

}  // namespace novel
