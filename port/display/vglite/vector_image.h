// Buffered vector images (image format -8): instead of pixels, the image
// holds the list of GPU drawings recorded into it, each a block from the
// image heap with its path, matrix, paint, fill rule, blend and scissor.
// Drawer 1 of the drawer tables records into them through the same process
// functions as the GPU drawings of drawer 0. Replaying the list belongs to
// the vector library that reads such images.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"
#include "platform/vglite/vg_lite.h"

extern "C" {

// The image's header, at the start of its pixel data area (36 bytes).
struct BviImageHeader {
    std::uint32_t reserved[2];  // not set here (the vector library's)
    float width;
    float height;
    std::uint32_t flags;         // bits 24-28 kept, 29 and 30 set
    std::uint32_t first;         // first block, or the end marker
    std::uint32_t link;          // address of the last block's next field; 0 while empty
    std::uint8_t end_marker[4];  // kind 0, then three bytes
    std::uint32_t zero;
};

// One recorded drawing (68 bytes).
struct BviBlock {
    std::uint8_t kind;  // 8: a path
    std::uint8_t fill_rule;
    std::uint8_t blend;
    std::uint8_t unused;
    std::uint32_t path;  // address of its BviPathRecord
    std::uint32_t color;
    float matrix[9];
    std::int32_t scissor[4];  // x, y, width, height; -1 first when there was none
    std::uint32_t next;       // the next block, or the image's end marker
};

// A stored path: its box, length and format, then the path data.
struct BviPathRecord {
    float bounding_box[4];
    std::uint32_t length;
    std::uint8_t format;
    std::uint8_t pad[3];
};

inline constexpr std::uint8_t kBviEndKind = 0;
inline constexpr std::uint8_t kBviPathKind = 8;
inline constexpr std::int32_t kBviFormat = -8;
inline constexpr std::int32_t kBviOutOfMemory = -9;

bool UI_DRAWING_is_drawer_1(std::int32_t format);
void VG_BVI_VGLITE_adjust_new_image_characteristics(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                    std::uint32_t* data_size, std::uint32_t* data_alignment);
void VG_BVI_VGLITE_initialize_new_image(SPictavoImage* image);
void VG_BVI_VGLITE_free_resources(SPictavoImage* image);
// Appends one drawing; 0, or -9 when the image heap is exhausted (nothing
// recorded, the list unchanged).
std::int32_t VG_BVI_VGLITE_add_draw_path(BviImageHeader* header, const vg_lite_path_t* path, vg_lite_fill_t fill_rule,
                                         const vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color);
std::uint8_t VG_VGLITE_HELPER_get_vectrel_fill_rule(vg_lite_fill_t fill_rule);
std::uint8_t VG_VGLITE_HELPER_get_vectrel_blend(vg_lite_blend_t blend);

}  // extern "C"

static_assert(sizeof(BviImageHeader) == 36);
static_assert(sizeof(BviBlock) == 68);
static_assert(sizeof(BviPathRecord) == 24);
