// Recording GPU drawings into buffered vector images, and drawer 1's
// entries that do it.
#include "port/display/vglite/vector_image.h"

#include <cstring>

#include "graphics/display/llui_display.h"
#include "platform/address.h"
#include "platform/board/debug_console.h"
#include "port/display/vglite/gpu_matrix.h"
#include "port/display/vglite/gpu_path_builder.h"
#include "port/display/vglite/gpu_process.h"

namespace {

using tarvelo::to_ptr;
using tarvelo::to_word;

constexpr std::uint32_t kHeaderSize = sizeof(BviImageHeader);
constexpr std::uint32_t kKeptFlags = 0x1F000000u;
constexpr std::uint32_t kSetFlags = 0x60000000u;
constexpr std::int32_t kRectanglePathSize = 32;

void* _alloc_data(std::uint32_t size) {
    void* block = LLUI_DISPLAY_IMPL_imageHeapAllocate((size + 3u) & ~3u);
    if (block == nullptr) DbgConsole_Printf("[ERROR - VECTREL] : OOM\n");
    return block;
}

BviImageHeader* header_of(const SPictavoImage* image) {
    return to_ptr<BviImageHeader>(LLUI_DISPLAY_getBufferAddress(image));
}

void log_failure(SPictavoGraphicsContext* gc, std::int32_t result) {
    std::uint32_t bits = tarvelo::graphics::kLogError | tarvelo::graphics::kLogAcceleratorIncident;
    if (result == kBviOutOfMemory) bits |= tarvelo::graphics::kLogAcceleratorOutOfMemory;
    LLUI_DISPLAY_reportWarning(gc, bits);
}

std::int32_t _add_path(SPictavoGraphicsContext* gc, vg_lite_path_t* path, vg_lite_fill_t fill_rule,
                       vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color) {
    const std::int32_t result =
        VG_BVI_VGLITE_add_draw_path(header_of(&gc->image), path, fill_rule, matrix, blend, color);
    if (result != 0) log_failure(gc, result);
    return 0;
}

std::int32_t _add_clear(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t width,
                        std::int32_t height, vg_lite_color_t color) {
    alignas(4) std::uint8_t data[kRectanglePathSize];
    vg_lite_path_t path{};
    path.path = data;
    path.path_length = kRectanglePathSize;
    if (UI_DRAWING_VGLITE_PATH_compute_rectangle(&path, 0, x, y, width, height, true) < 0) {
        log_failure(gc, 0);
        return 0;
    }
    vg_lite_matrix_t matrix;
    tarvelo::gpu::matrix_identity(&matrix);
    return _add_path(gc, &path, VG_LITE_FILL_EVEN_ODD, &matrix, VG_LITE_BLEND_SRC_OVER, color);
}

// The thick faded shapes with a fade the recorder cannot express.
std::int32_t not_supported(SPictavoGraphicsContext* gc) {
    LLUI_DISPLAY_reportWarning(gc, tarvelo::graphics::kLogError | tarvelo::graphics::kLogNotSupported);
    return 0;
}

}  // namespace

extern "C" {

bool UI_DRAWING_is_drawer_1(std::int32_t format) { return format == kBviFormat; }

void VG_BVI_VGLITE_adjust_new_image_characteristics(std::int32_t, std::uint32_t, std::uint32_t,
                                                    std::uint32_t* data_size, std::uint32_t*) {
    *data_size += kHeaderSize;
}

void VG_BVI_VGLITE_initialize_new_image(SPictavoImage* image) {
    BviImageHeader* header = header_of(image);
    header->width = static_cast<float>(image->width);
    header->height = static_cast<float>(image->height);
    header->flags = (header->flags & kKeptFlags) | kSetFlags;
    header->first = to_word(header->end_marker);
    header->link = 0;
    std::memset(header->end_marker, 0, sizeof header->end_marker);
    header->end_marker[0] = kBviEndKind;
    header->zero = 0;
}

void VG_BVI_VGLITE_free_resources(SPictavoImage* image) {
    BviImageHeader* header = header_of(image);
    std::uint32_t address = header->first;
    while (address != 0 && to_ptr<std::uint8_t>(address)[0] != kBviEndKind) {
        auto* block = to_ptr<BviBlock>(address);
        address = block->next;
        LLUI_DISPLAY_IMPL_imageHeapFree(to_ptr(block->path));
        LLUI_DISPLAY_IMPL_imageHeapFree(block);
    }
    header->first = to_word(header->end_marker);
    header->link = 0;
}

std::uint8_t VG_VGLITE_HELPER_get_vectrel_fill_rule(vg_lite_fill_t fill_rule) {
    return fill_rule == VG_LITE_FILL_EVEN_ODD ? 1 : 0;
}

std::uint8_t VG_VGLITE_HELPER_get_vectrel_blend(vg_lite_blend_t blend) {
    static const std::uint8_t coding[9] = {0, 1, 2, 3, 4, 7, 8, 6, 5};
    const auto b = static_cast<std::uint32_t>(blend);
    return b < 9 ? coding[b] : 0;
}

std::int32_t VG_BVI_VGLITE_add_draw_path(BviImageHeader* header, const vg_lite_path_t* path, vg_lite_fill_t fill_rule,
                                         const vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color) {
    auto* block = static_cast<BviBlock*>(_alloc_data(sizeof(BviBlock)));
    if (block == nullptr) return kBviOutOfMemory;
    std::memset(block, 0, sizeof *block);
    block->kind = kBviPathKind;
    block->fill_rule = VG_VGLITE_HELPER_get_vectrel_fill_rule(fill_rule);
    block->blend = VG_VGLITE_HELPER_get_vectrel_blend(blend);
    const std::uint32_t length = path->path_length > 0 ? static_cast<std::uint32_t>(path->path_length) : 0;
    auto* record = static_cast<BviPathRecord*>(_alloc_data(length + sizeof(BviPathRecord)));
    if (record != nullptr) {
        std::memcpy(record->bounding_box, path->bounding_box, sizeof record->bounding_box);
        record->length = length;
        record->format = static_cast<std::uint8_t>(path->format);
        std::memset(record->pad, 0, sizeof record->pad);
        std::memcpy(record + 1, path->path, length);
        block->path = to_word(record);
    }
    block->color = color;
    vg_lite_get_scissor(block->scissor);
    std::memcpy(block->matrix, matrix->m, sizeof block->matrix);
    if (record == nullptr) {
        LLUI_DISPLAY_IMPL_imageHeapFree(block);
        return kBviOutOfMemory;
    }
    block->next = to_word(header->end_marker);
    if (header->link == 0)
        header->first = to_word(block);
    else
        *to_ptr<std::uint32_t>(header->link) = to_word(block);
    header->link = to_word(&block->next);
    return 0;
}

// --- drawer 1's entries ------------------------------------------------------------
#define RECORD(name, params, args) \
    std::int32_t UI_DRAWING_##name##_1 params { return UI_DRAWING_VGLITE_PROCESS_##name args; }

RECORD(drawLine, (SPictavoGraphicsContext * gc, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2),
       (_add_path, gc, x1, y1, x2, y2))
RECORD(drawHorizontalLine, (SPictavoGraphicsContext * gc, std::int32_t x1, std::int32_t x2, std::int32_t y),
       (_add_path, gc, x1, x2, y))
RECORD(drawVerticalLine, (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y1, std::int32_t y2),
       (_add_path, gc, x, y1, y2))
RECORD(drawRoundedRectangle,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
        std::int32_t corner_width, std::int32_t corner_height),
       (_add_path, gc, x, y, width, height, corner_width, corner_height))
RECORD(fillRoundedRectangle,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
        std::int32_t corner_width, std::int32_t corner_height),
       (_add_path, gc, x, y, width, height, corner_width, corner_height))
RECORD(drawCircleArc,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
        float arc_angle),
       (_add_path, gc, x, y, diameter, start_angle, arc_angle))
RECORD(fillCircleArc,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
        float arc_angle),
       (_add_path, gc, x, y, diameter, start_angle, arc_angle))
RECORD(drawEllipseArc,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
        float start_angle, float arc_angle),
       (_add_path, gc, x, y, width, height, start_angle, arc_angle))
RECORD(fillEllipseArc,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
        float start_angle, float arc_angle),
       (_add_path, gc, x, y, width, height, start_angle, arc_angle))
RECORD(drawCircle, (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t diameter),
       (_add_path, gc, x, y, diameter))
RECORD(fillCircle, (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t diameter),
       (_add_path, gc, x, y, diameter))
RECORD(drawEllipse,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height),
       (_add_path, gc, x, y, width, height))
RECORD(fillEllipse,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height),
       (_add_path, gc, x, y, width, height))
RECORD(drawThickLine,
       (SPictavoGraphicsContext * gc, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
        std::int32_t thickness),
       (_add_path, gc, x1, y1, x2, y2, thickness))
RECORD(drawThickCircle,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t diameter, std::int32_t thickness),
       (_add_path, gc, x, y, diameter, thickness))
RECORD(drawThickEllipse,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
        std::int32_t thickness),
       (_add_path, gc, x, y, width, height, thickness))
RECORD(drawThickCircleArc,
       (SPictavoGraphicsContext * gc, std::int32_t x, std::int32_t y, std::int32_t diameter, float start_angle,
        float arc_angle, std::int32_t thickness),
       (_add_path, gc, x, y, diameter, start_angle, arc_angle, thickness))

#undef RECORD

std::int32_t UI_DRAWING_fillRectangle_1(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                        std::int32_t y2) {
    return UI_DRAWING_VGLITE_PROCESS_fillRectangle(_add_clear, gc, x1, y1, x2, y2);
}

std::int32_t UI_DRAWING_drawThickFadedPoint_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                              std::int32_t thickness, std::int32_t fade) {
    if (fade > 1) return not_supported(gc);
    return UI_DRAWING_VGLITE_PROCESS_drawThickFadedPoint(_add_path, gc, x, y, thickness + fade);
}

std::int32_t UI_DRAWING_drawThickFadedLine_1(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                             std::int32_t x2, std::int32_t y2, std::int32_t thickness,
                                             std::int32_t fade, std::int32_t start_cap, std::int32_t end_cap) {
    if (fade > 1) return not_supported(gc);
    return UI_DRAWING_VGLITE_PROCESS_drawThickFadedLine(_add_path, gc, x1, y1, x2, y2, thickness + fade, start_cap,
                                                        end_cap);
}

std::int32_t UI_DRAWING_drawThickFadedCircle_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                               std::int32_t diameter, std::int32_t thickness, std::int32_t fade) {
    if (fade > 1) return not_supported(gc);
    return UI_DRAWING_VGLITE_PROCESS_drawThickCircle(_add_path, gc, x, y, diameter, thickness + fade);
}

std::int32_t UI_DRAWING_drawThickFadedCircleArc_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                  std::int32_t diameter, float start_angle, float arc_angle,
                                                  std::int32_t thickness, std::int32_t fade, std::int32_t start_cap,
                                                  std::int32_t end_cap) {
    if (fade > 1) return not_supported(gc);
    return UI_DRAWING_VGLITE_PROCESS_drawThickFadedCircleArc(_add_path, gc, x, y, diameter, start_angle, arc_angle,
                                                             thickness + fade, start_cap, end_cap);
}

std::int32_t UI_DRAWING_drawThickFadedEllipse_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                                std::int32_t width, std::int32_t height, std::int32_t thickness,
                                                std::int32_t fade) {
    if (fade > 1) return not_supported(gc);
    return UI_DRAWING_VGLITE_PROCESS_drawThickEllipse(_add_path, gc, x, y, width, height, thickness + fade);
}

void UI_DRAWING_adjustNewImageCharacteristics_1(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                std::uint32_t* data_size, std::uint32_t* data_alignment) {
    VG_BVI_VGLITE_adjust_new_image_characteristics(format, width, height, data_size, data_alignment);
}

void UI_DRAWING_initializeNewImage_1(SPictavoImage* image) { VG_BVI_VGLITE_initialize_new_image(image); }

void UI_DRAWING_freeImageResources_1(SPictavoImage* image) { VG_BVI_VGLITE_free_resources(image); }

// Pulled into every firmware link (see CMakeLists.txt).
void tarvelo_link_vector_image(void) {}

}  // extern "C"
