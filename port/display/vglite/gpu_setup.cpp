// GPU set-up, descriptors, colours, scissor, submission, completion
// interrupt and cache maintenance of the GPU back end.
#include "port/display/vglite/gpu_setup.h"

#include <cstdarg>

#include "graphics/display/display_config.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "platform/address.h"
#include "platform/board/board.h"
#include "platform/board/registers.h"
#include "platform/halt.h"
#include "vm/core/port/os_port.h"

namespace {

// clang-format off
// GPU buffer format of each engine format (255: the GPU cannot read it).
constexpr std::uint8_t __pictavo_to_vg_lite_format[27] = {
    4,   255, 0,   255, 4,   113, 6,   9,   10,  255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0,   113, 6,
};
// Bits per pixel of each engine format the GPU reads (-1: none).
constexpr std::int8_t __pictavo_to_bpp[27] = {
    16, -1, 32, -1, 16, 16, 16, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 32, 16, 16,
};
// Formats 0 to 6 whose pixels are stored with straight alpha: the GPU
// premultiplies them when it reads them.
constexpr std::uint8_t __pictavo_to_premul[7] = {0, 0, 1, 0, 0, 1, 1};
// clang-format on

constexpr std::int32_t kFormatA4 = 7;
constexpr std::int32_t kFormatA8 = 8;
constexpr std::uint32_t kCacheLine = 32;

// Driver memory in the board's non-cacheable SDRAM, and the GPU's registers.
constexpr std::uint32_t kGpuRegisters = 0x41800000;
constexpr std::uint32_t kDriverHeapSize = 0x880000;
constexpr std::uint32_t kCommandBufferSize = 0x20000;
constexpr std::int32_t kTessellationSize = 256;
alignas(64) std::uint8_t vglite_heap[kDriverHeapSize];

vg_lite_buffer_t destination_buffer;
SemaphoreHandle_t vg_lite_operation_semaphore;
// The cache range of the last GPU drawing started, for the interrupt. The
// range rather than the context: the context is an application array that
// the collector may move (or that may be gone) by the time the GPU ends.
struct CacheRange {
    bool known;  // false: the whole image heap
    bool in_heap;
    std::uint32_t address;
    std::uint32_t size;
};
CacheRange previous_range;

// Data-cache maintenance by address and the barriers: the host has no
// caches to keep coherent with the GPU.
void clean_dcache(std::uint32_t, std::uint32_t) {}
void invalidate_dcache(std::uint32_t, std::uint32_t) {}
void barriers() { std::atomic_thread_fence(std::memory_order_seq_cst); }

std::uint32_t heap_start() { return tarvelo::to_word(tarvelo::graphics::ImageHeap::areaStart()); }

bool gpu_premultiplies() { return vg_lite_query_feature(VG_LITE_FEATURE_PREMULTIPLY) != 0; }

}  // namespace

extern "C" {

std::atomic<std::uint8_t> vg_lite_irq_operation{0};

// The device stops here on a fatal GPU error; the host process ends with the
// halted status (the text is not printed, as on the device).
void UI_VGLITE_IMPL_error(bool fatal, const char* format, ...) {
    (void)format;
    if (fatal) platform_halt(TARVELO_EXIT_HALTED);
}

// GPU clock root from multiplexer input 7 divided by 2, its gate on (once the
// gate reports it), and the GPU interrupt at priority 3 of 16, enabled.
void BOARD_InitVGliteClock(void) {
    sim_registers::write(sim_registers::kCcmGpu2dRoot, tarvelo::gpu::kGpuClockRootControl);
    sim_registers::set_bits(sim_registers::kCcmGpu2dGate, 1u);
    while ((sim_registers::read(sim_registers::kCcmGpu2dGateStatus) & 1u) == 0) {
    }
    using tarvelo::gpu::GPU2D_IRQn;
    NVIC_SetPriority(GPU2D_IRQn, tarvelo::gpu::kGpuInterruptPriority);
    NVIC_EnableMask(GPU2D_IRQn / 32, 1u << (GPU2D_IRQn % 32));
}

std::int32_t BOARD_PrepareVGLiteController(void) {
    BOARD_InitVGliteClock();
    vg_lite_init_mem(kGpuRegisters, 0, vglite_heap, kDriverHeapSize);
    return vg_lite_set_command_buffer_size(kCommandBufferSize) == VG_LITE_SUCCESS ? 0 : 1;
}

void UI_VGLITE_initialize(void) {
    static bool initialised = false;
    if (initialised) return;
    initialised = true;
    if (BOARD_PrepareVGLiteController() != 0) UI_VGLITE_IMPL_error(true, "Prepare VGlite controlor error");
    const vg_lite_error_t error = vg_lite_init(kTessellationSize, kTessellationSize);
    if (error != VG_LITE_SUCCESS)
        UI_VGLITE_IMPL_error(true, "vg_lite engine init failed: vg_lite_init() returned error %d", error);
}

void UI_VGLITE_start(void* operation_semaphore) {
    destination_buffer = vg_lite_buffer_t{};
    destination_buffer.tiled = VG_LITE_LAYOUT_LINEAR;
    destination_buffer.format = VG_LITE_FMT_RGB565;
    vg_lite_operation_semaphore = static_cast<SemaphoreHandle_t>(operation_semaphore);
}

vg_lite_buffer_t* UI_VGLITE_configure_destination(SPictavoGraphicsContext* gc) {
    const std::uint32_t address = LLUI_DISPLAY_getBufferAddress(&gc->image);
    if (!(LLUI_DISPLAY_isLCD(&gc->image) && destination_buffer.address == address)) {
        destination_buffer.width = gc->image.width;
        destination_buffer.height = gc->image.height;
        destination_buffer.stride = static_cast<std::int32_t>(LLUI_DISPLAY_getStrideInBytes(&gc->image));
        destination_buffer.tiled = VG_LITE_LAYOUT_LINEAR;
        destination_buffer.memory = tarvelo::to_ptr(address);
        destination_buffer.address = address;
        destination_buffer.format = static_cast<vg_lite_buffer_format_t>(tarvelo::gpu::vglite_format(gc->image.format));
    }
    vg_lite_irq_operation = tarvelo::gpu::kIrqNothing;
    UI_VGLITE_IMPL_notify_gpu_start(gc);
    return &destination_buffer;
}

std::int32_t UI_VGLITE_configure_source(vg_lite_buffer_t* buffer, const SPictavoImage* image) {
    const std::uint32_t stride = LLUI_DISPLAY_getStrideInBytes(image);
    if (UI_DRAWING_getNewImageStrideInBytes(image->format, image->width, image->height, stride) != stride) return 0;
    const std::uint8_t gpu_format = tarvelo::gpu::vglite_format(image->format);
    if (gpu_format == tarvelo::gpu::kNoGpuFormat) return 0;
    const auto format = static_cast<std::uint8_t>(image->format);
    if (LLUI_DISPLAY_isTransparent(image) && format <= 6 && __pictavo_to_premul[format] == 1) {
        vg_lite_enable_premultiply();
    } else if (gpu_premultiplies() && vg_lite_disable_premultiply() != VG_LITE_SUCCESS) {
        UI_VGLITE_IMPL_error(false, "vg_lite engine premultiply error: cannot disable the pre multiplication");
    }
    const std::uint32_t address = LLUI_DISPLAY_getBufferAddress(image);
    buffer->tiled = VG_LITE_LAYOUT_LINEAR;
    buffer->width = image->width;
    buffer->height = image->height;
    buffer->stride = static_cast<std::int32_t>(stride);
    buffer->memory = tarvelo::to_ptr(address);
    buffer->address = address;
    buffer->format = static_cast<vg_lite_buffer_format_t>(gpu_format);
    buffer->image_mode = VG_LITE_IMAGE_MODE_MULTIPLY;
    buffer->transparency_mode = VG_LITE_IMAGE_TRANSPARENT;
    return 1;
}

bool UI_VGLITE_need_to_premultiply(void) { return !gpu_premultiplies(); }

std::uint32_t UI_VGLITE_premultiply_alpha(std::uint32_t color, std::uint8_t alpha) {
    if (alpha == 0) return 0;
    if (alpha == 255) return color;
    const std::uint32_t r = ((color >> 16) & 0xFF) * alpha / 255;
    const std::uint32_t g = ((color >> 8) & 0xFF) * alpha / 255;
    const std::uint32_t b = (color & 0xFF) * alpha / 255;
    return static_cast<std::uint32_t>(alpha) << 24 | r << 16 | g << 8 | b;
}

std::uint32_t UI_VGLITE_get_vglite_color(const SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                         std::int32_t alpha) {
    const auto a = static_cast<std::uint8_t>(alpha);
    if (image->format == kFormatA4 || image->format == kFormatA8) {
        const std::uint32_t color = (gc->foreground_color & 0x00FFFFFFu) | static_cast<std::uint32_t>(a) << 24;
        return UI_VGLITE_need_to_premultiply() ? UI_VGLITE_premultiply_alpha(color, a) : color;
    }
    if (UI_VGLITE_need_to_premultiply()) return a * 0x01010101u;
    return 0x00FFFFFFu | static_cast<std::uint32_t>(a) << 24;
}

std::int32_t UI_VGLITE_enable_vg_lite_scissor_region(const SPictavoGraphicsContext* gc, std::int32_t x1,
                                                     std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    if (!LLUI_DISPLAY_isClipEnabled(gc)) {
        vg_lite_disable_scissor();
        return 1;
    }
    if (!LLUI_DISPLAY_clipRectangle(gc, &x1, &y1, &x2, &y2)) return 0;
    vg_lite_set_scissor(gc->clip_x1, gc->clip_y1, gc->clip_x2 + 1 - gc->clip_x1, gc->clip_y2 + 1 - gc->clip_y1);
    vg_lite_enable_scissor();
    return 1;
}

// Every format code, custom ones (negative, 249..255 as a byte) included,
// is looked up within the table's 27 entries.
std::int32_t UI_VGLITE_get_bpp(std::int32_t format) {
    const auto f = static_cast<std::uint8_t>(format);
    return f > tarvelo::gpu::kLastFormat ? -1 : __pictavo_to_bpp[f];
}

std::uint32_t UI_DRAWING_getNewImageStrideInBytes(std::int32_t format, std::uint32_t width, std::uint32_t,
                                                  std::uint32_t default_stride) {
    const std::int32_t bpp = UI_VGLITE_get_bpp(format);
    if (bpp == -1) return default_stride;
    const std::uint64_t pixels = (static_cast<std::uint64_t>(width) + 15) & ~std::uint64_t{15};
    return static_cast<std::uint32_t>(pixels * static_cast<std::uint32_t>(bpp) / 8);
}

vg_lite_error_t UI_VGLITE_start_operation(bool asynchronous) {
    vg_lite_irq_operation = asynchronous ? tarvelo::gpu::kIrqEndDrawing : tarvelo::gpu::kIrqReleaseWaiter;
    const vg_lite_error_t error = vg_lite_flush();
    if (error != VG_LITE_SUCCESS) {
        // Nothing was submitted: no interrupt will come to end the wait.
        vg_lite_irq_operation = tarvelo::gpu::kIrqNothing;
        return error;
    }
    if (!asynchronous) xSemaphoreTake(vg_lite_operation_semaphore, portMAX_DELAY);
    return VG_LITE_SUCCESS;
}

std::int32_t UI_VGLITE_post_operation(SPictavoGraphicsContext* gc, vg_lite_error_t error) {
    if (error == VG_LITE_SUCCESS) error = UI_VGLITE_start_operation(true);
    std::int32_t status = 1;
    if (error != VG_LITE_SUCCESS) {
        UI_VGLITE_IMPL_notify_gpu_stop(gc);
        status = UI_VGLITE_report_vglite_error(gc, error);
    }
    tarvelo::gpu::restore_premultiply();
    return status;
}

std::int32_t UI_VGLITE_report_vglite_error(SPictavoGraphicsContext* gc, vg_lite_error_t error) {
    UI_VGLITE_IMPL_error(false, "vg_lite operation failed with error: %d\n", error);
    std::uint32_t bits = tarvelo::graphics::kLogError | tarvelo::graphics::kLogAcceleratorIncident;
    if (error == VG_LITE_OUT_OF_MEMORY) bits |= tarvelo::graphics::kLogAcceleratorOutOfMemory;
    LLUI_DISPLAY_reportWarning(gc, bits);
    return 0;
}

void UI_VGLITE_IRQHandler(void) {
    switch (vg_lite_irq_operation.exchange(tarvelo::gpu::kIrqNothing)) {
        case tarvelo::gpu::kIrqReleaseWaiter: {
            BaseType_t woken = pdFALSE;
            xSemaphoreGiveFromISR(vg_lite_operation_semaphore, &woken);
            portYIELD_FROM_ISR(woken);
            break;
        }
        case tarvelo::gpu::kIrqEndDrawing: {
            const std::int32_t entered = interrupt_enter();
            LLUI_DISPLAY_notifyAsynchronousDrawingEnd(true);
            UI_VGLITE_IMPL_notify_gpu_stop(nullptr);
            interrupt_leave(entered);
            break;
        }
        default:
            break;
    }
}

void GPU2D_IRQHandler(void) {
    vg_lite_IRQHandler();
    UI_VGLITE_IRQHandler();
}

void UI_VGLITE_IMPL_notify_gpu_start(const SPictavoGraphicsContext* gc) {
    CacheRange range{gc != nullptr, false, 0, 0};
    if (gc != nullptr) range.in_heap = tarvelo::gpu::cache_range(gc, &range.address, &range.size);
    previous_range = range;
    if (!range.known) {
        clean_dcache(heap_start(), tarvelo::graphics::kWorkingBufferSize);
    } else if (range.in_heap) {
        clean_dcache(range.address, range.size);
    }
    barriers();
}

void UI_VGLITE_IMPL_notify_gpu_stop(const SPictavoGraphicsContext* gc) {
    CacheRange range = previous_range;
    if (gc != nullptr) {
        range = CacheRange{true, false, 0, 0};
        range.in_heap = tarvelo::gpu::cache_range(gc, &range.address, &range.size);
    }
    if (!range.known) {
        invalidate_dcache(heap_start(), tarvelo::graphics::kWorkingBufferSize);
    } else if (range.in_heap) {
        invalidate_dcache(range.address, range.size);
    }
    barriers();
}

// Pulled into every firmware link (see CMakeLists.txt).
void tarvelo_link_gpu_setup(void) {}

}  // extern "C"

namespace tarvelo::gpu {

std::uint8_t vglite_format(std::int32_t format) {
    const auto f = static_cast<std::uint8_t>(format);
    return f > kLastFormat ? kNoGpuFormat : __pictavo_to_vg_lite_format[f];
}

vg_lite_buffer_t& destination_descriptor() { return destination_buffer; }

void restore_premultiply() {
    if (gpu_premultiplies() && vg_lite_enable_premultiply() != VG_LITE_SUCCESS)
        UI_VGLITE_IMPL_error(false, "vg_lite engine premultiply error: cannot restore the pre multiplication");
}

bool cache_range(const SPictavoGraphicsContext* gc, std::uint32_t* address, std::uint32_t* size) {
    const std::uint32_t buffer = LLUI_DISPLAY_getBufferAddress(&gc->image);
    const std::uint32_t start = heap_start();
    if (buffer < start || buffer > start + graphics::kWorkingBufferSize) return false;
    const std::uint32_t stride = LLUI_DISPLAY_getStrideInBytes(&gc->image);
    const std::uint32_t rows = static_cast<std::uint32_t>(gc->clip_y2 - gc->clip_y1 + 1);
    *address = (buffer + stride * static_cast<std::uint32_t>(gc->clip_y1)) & ~(kCacheLine - 1);
    *size = ((stride * rows) & ~(kCacheLine - 1)) + kCacheLine;
    return true;
}

}  // namespace tarvelo::gpu
