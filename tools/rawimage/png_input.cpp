// libpng's simplified reader gives every PNG colour type and depth as
// 8-bit BGRA in memory order, which is the little-endian ARGB8888 word.
#include "tools/rawimage/png_input.h"

#include <png.h>

#include <cstring>

namespace tarvelo::rawimage {

bool read_png(const std::string& path, Picture* picture, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        *error = image.message;
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    if (image.width == 0 || image.height == 0 || image.width > 0xFFFF || image.height > 0xFFFF) {
        png_image_free(&image);
        *error = "width and height must be 1..65535";
        return false;
    }
    picture->width = image.width;
    picture->height = image.height;
    picture->argb.assign(std::size_t{image.width} * image.height, 0);
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr) == 0) {
        *error = image.message;
        png_image_free(&image);
        return false;
    }
    for (std::size_t i = 0; i < picture->argb.size(); ++i)
        picture->argb[i] = std::uint32_t{bytes[4 * i]} | std::uint32_t{bytes[4 * i + 1]} << 8 |
                           std::uint32_t{bytes[4 * i + 2]} << 16 | std::uint32_t{bytes[4 * i + 3]} << 24;
    return true;
}

}  // namespace tarvelo::rawimage
