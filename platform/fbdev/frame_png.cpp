#include <png.h>

#include <cstdio>

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
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) == 0) {
        std::fprintf(stderr, "frame output: cannot write %s: %s\n", path.c_str(), image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

std::string frame_file_name(const std::string& folder, std::uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05u.png", n);
    return folder + "/" + name;
}

}  // namespace tarvelo::fbdev
