/* The 2D vector GPU's driver interface, as the display port uses it: paths of
 * signed 16-bit coordinates filled with a fill rule, a matrix, a blend and a
 * colour; transformed blits of a source rectangle; a scissor; the switch
 * that says whether source pixels are premultiplied on read; a command
 * queue submitted by vg_lite_flush (one completion interrupt per flush,
 * after the pixels are written) and drained by vg_lite_finish.
 *
 * On the host the GPU is a worker thread that rasterises the submitted
 * commands and raises the GPU interrupt through the RTOS stand-in
 * (GPU2D_IRQHandler). vg_lite_sim.h holds the host-only test controls. */
#ifndef VG_LITE_H
#define VG_LITE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results: 0 success, 2 out of GPU memory, anything else a failure. */
typedef enum {
    VG_LITE_SUCCESS = 0,
    VG_LITE_INVALID_ARGUMENT = 1,
    VG_LITE_OUT_OF_MEMORY = 2,
    VG_LITE_NO_CONTEXT = 3,
    VG_LITE_TIMEOUT = 4,
    VG_LITE_OUT_OF_RESOURCES = 5,
    VG_LITE_GENERIC_IO = 6,
    VG_LITE_NOT_SUPPORT = 7,
} vg_lite_error_t;

/* Buffer formats (pixel layouts, little-endian words). */
typedef enum {
    VG_LITE_FMT_ARGB8888 = 0,      /* 32-bit word 0xAARRGGBB */
    VG_LITE_FMT_RGB565 = 4,        /* RGB565 */
    VG_LITE_FMT_RGB565_WINDOW = 5, /* RGB565 as well (frame-buffer windows) */
    VG_LITE_FMT_ARGB4444 = 6,      /* alpha in bits 15-12 */
    VG_LITE_FMT_A4 = 9,            /* least significant nibble first */
    VG_LITE_FMT_A8 = 10,
    VG_LITE_FMT_ARGB1555 = 113, /* alpha in bit 15 */
    VG_LITE_FMT_NONE = 255,     /* no format the GPU reads */
} vg_lite_buffer_format_t;

typedef enum { VG_LITE_LAYOUT_LINEAR = 0, VG_LITE_LAYOUT_TILED = 1 } vg_lite_buffer_layout_t;
typedef enum {
    VG_LITE_IMAGE_MODE_NONE = 0,
    VG_LITE_IMAGE_MODE_NORMAL = 1,
    VG_LITE_IMAGE_MODE_MULTIPLY = 2
} vg_lite_buffer_image_mode_t;
typedef enum { VG_LITE_IMAGE_OPAQUE = 0, VG_LITE_IMAGE_TRANSPARENT = 1 } vg_lite_transparency_t;

/* Fill rules. */
typedef enum { VG_LITE_FILL_NON_ZERO = 0, VG_LITE_FILL_EVEN_ODD = 1 } vg_lite_fill_t;

/* Blends: 1 is source over with a premultiplied source, D = S + D (1 - Sa). */
typedef enum {
    VG_LITE_BLEND_NONE = 0,
    VG_LITE_BLEND_SRC_OVER = 1,
    VG_LITE_BLEND_DST_OVER = 2,
    VG_LITE_BLEND_SRC_IN = 3,
    VG_LITE_BLEND_DST_IN = 4,
    VG_LITE_BLEND_SCREEN = 5,
    VG_LITE_BLEND_MULTIPLY = 6,
    VG_LITE_BLEND_ADDITIVE = 7,
    VG_LITE_BLEND_SUBTRACT = 8,
} vg_lite_blend_t;

/* Sampling of blits. */
typedef enum {
    VG_LITE_FILTER_POINT = 0,
    VG_LITE_FILTER_LINEAR_X = 0x10000,
    VG_LITE_FILTER_BILINEAR = 0x20000
} vg_lite_filter_t;

/* Path data formats and qualities. */
typedef enum { VG_LITE_PATH_S8 = 0, VG_LITE_PATH_S16 = 1, VG_LITE_PATH_S32 = 2, VG_LITE_PATH_F32 = 3 } vg_lite_format_t;
typedef enum {
    VG_LITE_QUALITY_HIGHEST = 0,
    VG_LITE_QUALITY_HIGH = 1,
    VG_LITE_QUALITY_MEDIUM = 2,
    VG_LITE_QUALITY_LOW = 3
} vg_lite_quality_t;

/* Path commands of the 16-bit path data. */
enum { VG_LITE_CMD_END = 0, VG_LITE_CMD_MOVE = 2, VG_LITE_CMD_LINE = 4, VG_LITE_CMD_CUBIC = 8 };

/* Features the driver can be asked about. */
typedef enum { VG_LITE_FEATURE_PREMULTIPLY = 1 } vg_lite_feature_t;

/* Paint colour: 0xAARRGGBB with straight alpha. */
typedef uint32_t vg_lite_color_t;

/* 3 x 3 matrix; a point maps as p' = m (x, y, 1). */
typedef struct {
    float m[3][3];
} vg_lite_matrix_t;

typedef struct {
    int32_t width;
    int32_t height;
    int32_t stride; /* bytes per row */
    vg_lite_buffer_layout_t tiled;
    vg_lite_buffer_format_t format;
    void* memory;     /* the CPU's view of the pixels */
    uint32_t address; /* the GPU's view (the same memory) */
    vg_lite_buffer_image_mode_t image_mode;
    vg_lite_transparency_t transparency_mode;
} vg_lite_buffer_t;

typedef struct {
    float bounding_box[4]; /* min x, min y, max x, max y */
    vg_lite_quality_t quality;
    vg_lite_format_t format;
    int32_t path_length; /* bytes */
    void* path;
} vg_lite_path_t;

/* A source rectangle: x, y, width, height. */
typedef uint32_t vg_lite_rectangle_t[4];

/* --- set-up --------------------------------------------------------------- */
void vg_lite_init_mem(uint32_t register_base, uint32_t gpu_mem_base, void* heap, uint32_t heap_size);
vg_lite_error_t vg_lite_set_command_buffer_size(uint32_t size);
vg_lite_error_t vg_lite_init(int32_t tessellation_width, int32_t tessellation_height);
vg_lite_error_t vg_lite_close(void);
uint32_t vg_lite_query_feature(vg_lite_feature_t feature);

/* --- state ---------------------------------------------------------------- */
vg_lite_error_t vg_lite_enable_premultiply(void);
vg_lite_error_t vg_lite_disable_premultiply(void);
vg_lite_error_t vg_lite_set_scissor(int32_t x, int32_t y, int32_t width, int32_t height);
vg_lite_error_t vg_lite_enable_scissor(void);
vg_lite_error_t vg_lite_disable_scissor(void);
/* Reads the scissor back: 1 and the rectangle while it is enabled, else 0
 * and -1 in every value. */
int32_t vg_lite_get_scissor(int32_t rectangle[4]);

/* --- paths ---------------------------------------------------------------- */
vg_lite_error_t vg_lite_init_path(vg_lite_path_t* path, vg_lite_format_t format, vg_lite_quality_t quality,
                                  uint32_t length, void* data, float min_x, float min_y, float max_x, float max_y);

/* --- drawing (queued until the next flush) --------------------------------- */
vg_lite_error_t vg_lite_draw(vg_lite_buffer_t* target, vg_lite_path_t* path, vg_lite_fill_t fill_rule,
                             vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color);
vg_lite_error_t vg_lite_blit_rect(vg_lite_buffer_t* target, vg_lite_buffer_t* source, vg_lite_rectangle_t rect,
                                  vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color,
                                  vg_lite_filter_t filter);

/* --- submission ------------------------------------------------------------ */
vg_lite_error_t vg_lite_flush(void);
vg_lite_error_t vg_lite_finish(void);

/* The driver's part of the GPU interrupt. */
void vg_lite_IRQHandler(void);
/* The GPU interrupt vector: the driver's handler, then the port's. The
 * stand-in's own (weak) version calls the driver's only. */
void GPU2D_IRQHandler(void);

#ifdef __cplusplus
}
#endif

#endif /* VG_LITE_H */
