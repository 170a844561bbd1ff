#include "port/display/vglite/gpu_matrix.h"

#include <cmath>

namespace tarvelo::gpu {
namespace {

void post_multiply(vg_lite_matrix_t* m, const float op[3][3]) {
    vg_lite_matrix_t r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k) sum += m->m[i][k] * op[k][j];
            r.m[i][j] = sum;
        }
    *m = r;
}

}  // namespace

void matrix_identity(vg_lite_matrix_t* m) {
    *m = vg_lite_matrix_t{};
    m->m[0][0] = m->m[1][1] = m->m[2][2] = 1.0f;
}

void matrix_translate(vg_lite_matrix_t* m, float x, float y) {
    const float op[3][3] = {{1, 0, x}, {0, 1, y}, {0, 0, 1}};
    post_multiply(m, op);
}

void matrix_scale(vg_lite_matrix_t* m, float x, float y) {
    const float op[3][3] = {{x, 0, 0}, {0, y, 0}, {0, 0, 1}};
    post_multiply(m, op);
}

void matrix_rotate(vg_lite_matrix_t* m, float degrees) {
    const double radians = static_cast<double>(degrees) * M_PI / 180.0;
    const auto c = static_cast<float>(std::cos(radians));
    const auto s = static_cast<float>(std::sin(radians));
    const float op[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    post_multiply(m, op);
}

}  // namespace tarvelo::gpu
