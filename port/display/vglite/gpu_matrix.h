// 3 x 3 matrices of the GPU: built from the identity by translations,
// rotations (degrees) and scalings, each applied after the previous ones
// (M = M . Op); a point maps as p' = M (x, y, 1).
#pragma once

#include "platform/vglite/vg_lite.h"

namespace tarvelo::gpu {

void matrix_identity(vg_lite_matrix_t* m);
void matrix_translate(vg_lite_matrix_t* m, float x, float y);
void matrix_scale(vg_lite_matrix_t* m, float x, float y);
// Positive degrees turn clockwise on the y-down screen.
void matrix_rotate(vg_lite_matrix_t* m, float degrees);

}  // namespace tarvelo::gpu
