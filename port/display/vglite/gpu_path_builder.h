// Paths of the GPU's shapes in signed 16-bit coordinates: the 1-pixel line
// polygon, rectangles, rounded rectangles, ellipses, ellipse arcs, thick
// lines and thick arcs with caps, and a fixed circle for filled ellipses.
//
// The path object names the output buffer (its data) and, when a new path
// starts (offset 0), its capacity (its length). Every function returns the
// write offset after its last command, or -1 when the commands would not
// fit the buffer (nothing is written past it; the path must not be drawn).
#pragma once

#include <cstdint>

#include "platform/vglite/vg_lite.h"

extern "C" {

// Caps: start cap in bits 0-1, end cap in bits 2-3: 1 rounded, 0 and 2 flat,
// 3 unknown (reported, no cap segment).
std::int32_t UI_DRAWING_VGLITE_PATH_compute_line(vg_lite_path_t* path, std::int32_t dx, std::int32_t dy);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_rectangle(vg_lite_path_t* path, std::int32_t offset, std::int32_t x,
                                                      std::int32_t y, std::int32_t width, std::int32_t height,
                                                      bool end);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(vg_lite_path_t* path, std::int32_t offset, std::int32_t x,
                                                              std::int32_t y, std::int32_t width, std::int32_t height,
                                                              std::int32_t arc_width, std::int32_t arc_height,
                                                              bool end);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_ellipse(vg_lite_path_t* path, std::int32_t offset, std::int32_t radius_x,
                                                    std::int32_t radius_y, bool end);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_filled_ellipse(vg_lite_path_t* path, float width, float height,
                                                           vg_lite_matrix_t* matrix);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(vg_lite_path_t* path, std::int32_t radius_x,
                                                        std::int32_t radius_y, std::int32_t inner_radius_x,
                                                        std::int32_t inner_radius_y, bool filled, float start_angle,
                                                        float sweep_angle);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(vg_lite_path_t* path, std::int32_t dx, std::int32_t dy,
                                                             std::int32_t thickness, std::int32_t caps,
                                                             vg_lite_matrix_t* matrix);
std::int32_t UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(vg_lite_path_t* path, std::int32_t width,
                                                                    std::int32_t height, std::int32_t thickness,
                                                                    std::int32_t caps, float start_angle,
                                                                    float sweep_angle);

}  // extern "C"

namespace tarvelo::gpu {

inline constexpr std::int32_t kCapRounded = 1;
inline constexpr std::int32_t kCapUnknown = 3;
// Bytes of the fixed circle path (radius 200).
inline constexpr std::int32_t kCirclePathSize = 64;

}  // namespace tarvelo::gpu
