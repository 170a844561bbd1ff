// The GPU path builder. Curves are cubic Bézier approximations of circular
// and elliptical quarter arcs; coordinates are truncated to integers and
// cut to 16 bits as they are written.
#include "port/display/vglite/gpu_path_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dsp/trig.h"
#include "port/display/vglite/gpu_matrix.h"
#include "port/display/vglite/gpu_setup.h"
#include "vm/core/processor/java_arith.h"

namespace {

using tarvelo::jarith::d2i;
using tarvelo::jarith::f2i;

constexpr double kKappa = 0.5522847498307933;
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kFourThirds = 1.3333333730697632f;

// A circle of radius 200 (control offset 111 = 200 x 0.5523 rounded up): 64
// bytes of commands up to END, then one padding word.
// clang-format off
alignas(4) const std::int16_t __circle_s16[33] = {
    VG_LITE_CMD_MOVE,  200,  0,
    VG_LITE_CMD_CUBIC, 200,  -111, 111,  -200, 0,    -200,
    VG_LITE_CMD_CUBIC, -111, -200, -200, -111, -200, 0,
    VG_LITE_CMD_CUBIC, -200, 111,  -111, 200,  0,    200,
    VG_LITE_CMD_CUBIC, 111,  200,  200,  111,  200,  0,
    VG_LITE_CMD_END,   0,
};
// clang-format on
static_assert(sizeof __circle_s16 == tarvelo::gpu::kCirclePathSize + 2);

// Directions of the ellipse's quarters.
const std::int32_t __quarter_curve_data[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};

struct PathBuilderContext {
    std::uint8_t* buffer;
    std::int32_t offset;    // bytes written
    std::int32_t capacity;  // bytes the buffer holds
    bool overflow;
    std::int32_t last_x, last_y;
    float last_sin, last_cos;
    float k;
    std::int32_t centre_x, centre_y;
    float k_cos, k_sin;
    std::uint8_t toggle;
};
PathBuilderContext __ctxt;

// Starts writing at `offset`; the capacity is the path's length (the buffer
// size while a path is being built).
void begin(vg_lite_path_t* path, std::int32_t offset) {
    __ctxt.buffer = static_cast<std::uint8_t*>(path->path);
    __ctxt.offset = offset;
    __ctxt.capacity = path->path_length;
    __ctxt.overflow = offset < 0 || offset > __ctxt.capacity || __ctxt.buffer == nullptr;
    __ctxt.centre_x = 0;
    __ctxt.centre_y = 0;
}

// Writes one command with its coordinates, or marks the path as too long.
void command(std::int16_t op, std::initializer_list<std::int32_t> coordinates) {
    const auto bytes = static_cast<std::int32_t>(2 * (1 + coordinates.size()));
    if (__ctxt.overflow || __ctxt.offset + bytes > __ctxt.capacity) {
        __ctxt.overflow = true;
        return;
    }
    std::uint8_t* out = __ctxt.buffer + __ctxt.offset;
    std::memcpy(out, &op, 2);
    out += 2;
    for (std::int32_t v : coordinates) {
        const auto w = static_cast<std::int16_t>(v);
        std::memcpy(out, &w, 2);
        out += 2;
    }
    __ctxt.offset += bytes;
}

void move_to(std::int32_t x, std::int32_t y) {
    command(VG_LITE_CMD_MOVE, {x, y});
    __ctxt.last_x = x;
    __ctxt.last_y = y;
}

void line_to(std::int32_t x, std::int32_t y) {
    command(VG_LITE_CMD_LINE, {x, y});
    __ctxt.last_x = x;
    __ctxt.last_y = y;
}

void cubic_to(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::int32_t x, std::int32_t y) {
    command(VG_LITE_CMD_CUBIC, {x1, y1, x2, y2, x, y});
    __ctxt.last_x = x;
    __ctxt.last_y = y;
}

void end_command() { command(VG_LITE_CMD_END, {}); }

// A quarter curve from the last point; consecutive quarters leave
// horizontally and vertically in turn.
void quarter_to(std::int32_t x, std::int32_t y) {
    const std::int32_t lx = __ctxt.last_x, ly = __ctxt.last_y;
    const std::int32_t kx = d2i((static_cast<double>(x) - lx) * kKappa);
    const std::int32_t ky = d2i((static_cast<double>(y) - ly) * kKappa);
    if (__ctxt.toggle == 0)
        cubic_to(lx + kx, ly, x, y - ky, x, y);
    else
        cubic_to(lx, ly + ky, x - kx, y, x, y);
    __ctxt.toggle ^= 1;
}

// Closes a contour: a new path records its box, an appended one widens the
// stored box; the end flag appends END and fixes the length. -1 when the
// commands did not fit.
std::int32_t __update_path(vg_lite_path_t* path, bool first, bool end, float x1, float y1, float x2, float y2) {
    if (end) end_command();
    if (__ctxt.overflow) return -1;
    if (first) {
        vg_lite_init_path(path, VG_LITE_PATH_S16, VG_LITE_QUALITY_HIGHEST,
                          static_cast<std::uint32_t>(path->path_length), path->path, x1, y1, x2, y2);
    } else {
        path->bounding_box[0] = static_cast<float>(f2i(std::min(path->bounding_box[0], x1)));
        path->bounding_box[1] = static_cast<float>(f2i(std::min(path->bounding_box[1], y1)));
        path->bounding_box[2] = static_cast<float>(f2i(std::max(path->bounding_box[2], x2)));
        path->bounding_box[3] = static_cast<float>(f2i(std::max(path->bounding_box[3], y2)));
    }
    if (end) path->path_length = __ctxt.offset;
    return __ctxt.offset;
}

void unknown_cap() { UI_VGLITE_IMPL_error(false, "Unknown cap: %d", tarvelo::gpu::kCapUnknown); }

// Arc from a to b on (rx, ry) around the centre, clockwise from the top.
void arc(float a, float b, std::int32_t rx, std::int32_t ry) {
    float remaining = std::fabs(b - a);
    float theta = a;
    while (remaining > 0.0f) {
        const float step = std::clamp(b - theta, -kHalfPi, kHalfPi);
        const float next = theta + step;
        const float k = trv_tan_f32(step / 4.0f) * kFourThirds;
        const float cos_t = arm_cos_f32(theta), sin_t = arm_sin_f32(theta);
        const float cos_n = arm_cos_f32(next), sin_n = arm_sin_f32(next);
        const std::int32_t c1x = __ctxt.last_x + f2i(rx * k * cos_t);
        const std::int32_t c1y = __ctxt.last_y + f2i(ry * k * sin_t);
        const std::int32_t ex = f2i(rx * sin_n + __ctxt.centre_x);
        const std::int32_t ey = f2i(-ry * cos_n + __ctxt.centre_y);
        const std::int32_t c2x = ex + f2i(-rx * k * cos_n);
        const std::int32_t c2y = ey + f2i(-ry * k * sin_n);
        cubic_to(c1x, c1y, c2x, c2y, ex, ey);
        __ctxt.last_sin = sin_n;
        __ctxt.last_cos = cos_n;
        theta = next;
        remaining -= kHalfPi;
        if (__ctxt.overflow) return;  // bounded by the buffer
    }
}

// A point of the thick arc's contours, counter-clockwise from the right.
struct Point {
    std::int32_t x, y;
};
Point q(float theta, std::int32_t rx, std::int32_t ry) {
    return {f2i(rx * arm_cos_f32(theta)), f2i(-ry * arm_sin_f32(theta))};
}

void fragment(Point c, std::int32_t rx, std::int32_t ry, bool forward, float t0, float t1, float k) {
    const Point p0 = q(t0, rx, ry), p1 = q(t1, rx, ry);
    const std::int32_t c0x = p0.x + f2i(rx * k * arm_cos_f32(t0 + kHalfPi));
    const std::int32_t c0y = p0.y + f2i(-ry * k * arm_sin_f32(t0 + kHalfPi));
    const std::int32_t c1x = p1.x + f2i(rx * k * arm_cos_f32(t1 - kHalfPi));
    const std::int32_t c1y = p1.y + f2i(-ry * k * arm_sin_f32(t1 - kHalfPi));
    if (forward)
        cubic_to(c0x + c.x, c0y + c.y, c1x + c.x, c1y + c.y, p1.x + c.x, p1.y + c.y);
    else
        cubic_to(c1x + c.x, c1y + c.y, c0x + c.x, c0y + c.y, p0.x + c.x, p0.y + c.y);
}

Point midpoint(Point a, Point b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// The angle in degrees brought into [0, 360): far-away angles would make
// float rounding add curves beyond what the buffer holds.
float normalise_degrees(float degrees) {
    if (!std::isfinite(degrees)) return 0.0f;
    double d = std::fmod(static_cast<double>(degrees), 360.0);
    if (d < 0) d += 360.0;
    return static_cast<float>(d);
}

}  // namespace

extern "C" {

std::int32_t UI_DRAWING_VGLITE_PATH_compute_line(vg_lite_path_t* path, std::int32_t dx, std::int32_t dy) {
    begin(path, 0);
    const std::int32_t sx = dx < 0 ? 1 : 0, sy = dy < 0 ? 1 : 0;
    const std::int32_t ex = dx >= 0 ? dx + 1 : dx, ey = dy >= 0 ? dy + 1 : dy;
    move_to(sx, sy);
    line_to(1 - sx, sy);
    line_to(ex, dy + sy);
    line_to(ex, ey);
    line_to(dx + sx, ey);
    line_to(sx, 1 - sy);
    return __update_path(path, true, true, static_cast<float>(sx), static_cast<float>(sy), static_cast<float>(ex),
                         static_cast<float>(ey));
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_rectangle(vg_lite_path_t* path, std::int32_t offset, std::int32_t x,
                                                      std::int32_t y, std::int32_t width, std::int32_t height,
                                                      bool end) {
    begin(path, offset);
    move_to(x, y);
    line_to(x + width, y);
    line_to(x + width, y + height);
    line_to(x, y + height);
    line_to(x, y);
    return __update_path(path, offset == 0, end, static_cast<float>(x), static_cast<float>(y),
                         static_cast<float>(x + width), static_cast<float>(y + height));
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(vg_lite_path_t* path, std::int32_t offset, std::int32_t x,
                                                              std::int32_t y, std::int32_t width, std::int32_t height,
                                                              std::int32_t arc_width, std::int32_t arc_height,
                                                              bool end) {
    begin(path, offset);
    std::int32_t rx = arc_width / 2, ry = arc_height / 2;
    if (rx < 1) rx = 0;
    if (ry < 1) ry = 0;
    move_to(x + rx, y);
    line_to(x + width - rx, y);
    __ctxt.toggle = 0;
    quarter_to(x + width, y + ry);
    line_to(x + width, y + height - ry);
    quarter_to(x + width - rx, y + height);
    line_to(x + rx, y + height);
    quarter_to(x, y + height - ry);
    line_to(x, y + ry);
    quarter_to(x + rx, y);
    return __update_path(path, offset == 0, end, static_cast<float>(x), static_cast<float>(y),
                         static_cast<float>(x + width), static_cast<float>(y + height));
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_ellipse(vg_lite_path_t* path, std::int32_t offset, std::int32_t radius_x,
                                                    std::int32_t radius_y, bool end) {
    begin(path, offset);
    move_to(0, -radius_y);
    __ctxt.toggle = 0;
    for (int i = 1; i <= 4; ++i) {
        const std::int32_t* d = __quarter_curve_data[i % 4];
        quarter_to(__ctxt.centre_x + d[0] * radius_x, __ctxt.centre_y - d[1] * radius_y);
    }
    return __update_path(path, offset == 0, end, static_cast<float>(-radius_x), static_cast<float>(-radius_y),
                         static_cast<float>(radius_x), static_cast<float>(radius_y));
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_filled_ellipse(vg_lite_path_t* path, float width, float height,
                                                           vg_lite_matrix_t* matrix) {
    tarvelo::gpu::matrix_scale(matrix, width / 200.0f, height / 200.0f);
    vg_lite_init_path(path, VG_LITE_PATH_S16, VG_LITE_QUALITY_HIGHEST, tarvelo::gpu::kCirclePathSize,
                      const_cast<std::int16_t*>(__circle_s16), -200.0f, -200.0f, 200.0f, 200.0f);
    return tarvelo::gpu::kCirclePathSize;
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(vg_lite_path_t* path, std::int32_t radius_x,
                                                        std::int32_t radius_y, std::int32_t inner_radius_x,
                                                        std::int32_t inner_radius_y, bool filled, float start_angle,
                                                        float sweep_angle) {
    begin(path, 0);
    const float start = normalise_degrees(start_angle);
    const float sweep = std::isfinite(sweep_angle) ? std::clamp(sweep_angle, -360.0f, 360.0f) : 0.0f;
    const float a = start * kPi / 180.0f;
    const float b = a + sweep * kPi / 180.0f;
    move_to(f2i(radius_x * arm_sin_f32(a)), f2i(-radius_y * arm_cos_f32(a)));
    __ctxt.last_sin = arm_sin_f32(a);
    __ctxt.last_cos = arm_cos_f32(a);
    arc(a, b, radius_x, radius_y);
    if (!filled) {
        line_to(f2i(inner_radius_x * __ctxt.last_sin), f2i(-inner_radius_y * __ctxt.last_cos));
        arc(b, a, inner_radius_x, inner_radius_y);
    } else {
        line_to(0, 0);
    }
    end_command();
    return __update_path(path, true, true, static_cast<float>(-radius_x), static_cast<float>(-radius_y),
                         static_cast<float>(radius_x), static_cast<float>(radius_y));
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(vg_lite_path_t* path, std::int32_t dx, std::int32_t dy,
                                                             std::int32_t thickness, std::int32_t caps,
                                                             vg_lite_matrix_t* matrix) {
    begin(path, 0);
    const std::int32_t h = thickness / 2;
    const float fx = static_cast<float>(dx), fy = static_cast<float>(dy);
    const std::int32_t length = f2i(trv_sqrt_f32(fx * fx + fy * fy) + 2.0f);
    tarvelo::gpu::matrix_translate(matrix, 1.0f, 1.0f);
    tarvelo::gpu::matrix_rotate(
        matrix,
        static_cast<float>(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / 3.1415927410125732));
    tarvelo::gpu::matrix_translate(matrix, -1.0f, -1.0f);
    move_to(0, 1 - h);
    line_to(length, 1 - h);
    const std::int32_t end_cap = (caps >> 2) & 3, start_cap = caps & 3;
    if (end_cap == tarvelo::gpu::kCapRounded) {
        __ctxt.toggle = 0;
        quarter_to(length + h, 0);
        quarter_to(length, h + 1);
    } else if (end_cap == tarvelo::gpu::kCapUnknown) {
        unknown_cap();
    } else {
        line_to(length, h + 1);
    }
    line_to(0, h + 1);
    if (start_cap == tarvelo::gpu::kCapRounded) {
        __ctxt.toggle = 0;
        quarter_to(-h, 0);
        quarter_to(0, 1 - h);
    } else if (start_cap == tarvelo::gpu::kCapUnknown) {
        unknown_cap();
    } else {
        line_to(0, 1 - h);
    }
    return __update_path(path, true, true, static_cast<float>(-h), static_cast<float>(1 - h),
                         static_cast<float>(length + h), static_cast<float>(h + 1));
}

std::int32_t UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(vg_lite_path_t* path, std::int32_t width,
                                                                    std::int32_t height, std::int32_t thickness,
                                                                    std::int32_t caps, float start_angle,
                                                                    float sweep_angle) {
    begin(path, 0);
    float start = std::isfinite(start_angle) ? start_angle : 0.0f;
    float sweep = std::isfinite(sweep_angle) ? sweep_angle : 0.0f;
    std::int32_t start_cap = caps & 3, end_cap = (caps >> 2) & 3;
    if (sweep < 0) {
        start += sweep;
        sweep = -sweep;
        std::swap(start_cap, end_cap);
    }
    sweep = std::min(sweep, 360.0f);
    start = normalise_degrees(start);
    const std::int32_t ox = (width + thickness) / 2, oy = (height + thickness) / 2;
    const std::int32_t ix = (width - thickness) / 2 - 1, iy = (height - thickness) / 2 - 1;
    const float a = start * kPi / 180.0f;
    const float s = sweep * kPi / 180.0f;
    const auto n = static_cast<std::int32_t>(std::ceil(s / kHalfPi));
    const float step = n > 0 ? s / static_cast<float>(n) : 0.0f;
    const float b = a + s;
    const float k = trv_tan_f32(step / 4.0f) * kFourThirds;
    const Point origin{0, 0};
    const Point first = q(a, ox, oy);
    move_to(first.x, first.y);
    for (std::int32_t i = 0; i < n; ++i)
        fragment(origin, ox, oy, true, a + static_cast<float>(i) * step, a + static_cast<float>(i + 1) * step, k);
    const std::int32_t r = (ox - ix) / 2;
    if (end_cap == tarvelo::gpu::kCapRounded) {
        fragment(midpoint(q(b, ox, oy), q(b, ix, iy)), r, r, true, b, b + kPi, kFourThirds);
    } else if (end_cap == tarvelo::gpu::kCapUnknown) {
        unknown_cap();
    } else {
        const Point p = q(b, ix, iy);
        line_to(p.x, p.y);
    }
    for (std::int32_t j = n; j >= 1; --j)
        fragment(origin, ix, iy, false, a + static_cast<float>(j - 1) * step, a + static_cast<float>(j) * step, k);
    if (start_cap == tarvelo::gpu::kCapRounded) {
        fragment(midpoint(q(a, ix, iy), q(a, ox, oy)), r, r, true, a + kPi, a, kFourThirds);
    } else if (start_cap == tarvelo::gpu::kCapUnknown) {
        unknown_cap();
    } else {
        line_to(first.x, first.y);
    }
    end_command();
    return __update_path(path, true, true, static_cast<float>(-ox), static_cast<float>(-oy), static_cast<float>(ox),
                         static_cast<float>(oy));
}

}  // extern "C"
