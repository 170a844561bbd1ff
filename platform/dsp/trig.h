// Sine and cosine of the board's DSP library: a 512-step table over one
// turn, read with linear interpolation (absolute error below 2e-5).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

float arm_sin_f32(float x);
float arm_cos_f32(float x);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Single-precision square root and tangent of the C library. */
float trv_sqrt_f32(float x);
float trv_tan_f32(float x);

#ifdef __cplusplus
}
#endif
