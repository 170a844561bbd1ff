#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/fbdev/frame_output.h"

namespace tarvelo::fbdev {

std::vector<std::uint8_t> rgb565_to_rgb888(const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height,
                                           std::uint32_t stride_pixels) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::uint8_t* out = rgb.data();
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint16_t* row = pixels + static_cast<std::size_t>(y) * stride_pixels;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            const std::uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
            *out++ = static_cast<std::uint8_t>((r << 3) | (r >> 2));
            *out++ = static_cast<std::uint8_t>((g << 2) | (g >> 4));
            *out++ = static_cast<std::uint8_t>((b << 3) | (b >> 2));
        }
    }
    return rgb;
}

bool write_png(const std::string& path, const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height,
               std::uint32_t stride_pixels) {
    const std::vector<std::uint8_t> rgb = rgb565_to_rgb888(pixels, width, height, stride_pixels);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "frame output: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows(height);
    // Set after the last call that may jump back here.
    volatile bool written = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        // Frames are screens of flat colours: the fastest compression with
        // the left-neighbour filter keeps them small at a fraction of the
        // default's time.
        png_set_compression_level(png, 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        for (std::uint32_t y = 0; y < height; ++y)
            rows[y] = const_cast<png_bytep>(rgb.data() + static_cast<std::size_t>(y) * width * 3);
        png_set_rows(png, info, rows.data());
        png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) std::fprintf(stderr, "frame output: cannot write %s\n", path.c_str());
    return written && closed;
}

std::string frame_file_name(const std::string& folder, std::uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05u.png", n);
    return folder + "/" + name;
}

}  // namespace tarvelo::fbdev
