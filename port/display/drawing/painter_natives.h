// The painter natives of the user-interface library
// (`yq.pictavo.display.PainterNatives`) and of the drawing library
// (`yq.drawing.DrawingPainterNatives`), as the image binds them: arrays
// arrive as pointers to their first element, contexts and images as byte
// arrays, Java bytes and chars as ints.
#pragma once

#include <cstdint>

extern "C" {
void Java_yq_pictavo_display_PainterNatives_writePixel(std::int8_t* gc_array, std::int32_t x, std::int32_t y);
void Java_yq_pictavo_display_PainterNatives_drawLine(std::int8_t* gc_array, std::int32_t x1, std::int32_t y1,
                                                     std::int32_t x2, std::int32_t y2);
void Java_yq_pictavo_display_PainterNatives_drawHorizontalLine(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                               std::int32_t length);
void Java_yq_pictavo_display_PainterNatives_drawVerticalLine(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                             std::int32_t length);
void Java_yq_pictavo_display_PainterNatives_drawRectangle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t width, std::int32_t height);
void Java_yq_pictavo_display_PainterNatives_fillRectangle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t width, std::int32_t height);
void Java_yq_pictavo_display_PainterNatives_drawRoundedRectangle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                                 std::int32_t width, std::int32_t height,
                                                                 std::int32_t arc_width, std::int32_t arc_height);
void Java_yq_pictavo_display_PainterNatives_fillRoundedRectangle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                                 std::int32_t width, std::int32_t height,
                                                                 std::int32_t arc_width, std::int32_t arc_height);
void Java_yq_pictavo_display_PainterNatives_drawCircleArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t diameter, float start_angle, float arc_angle);
void Java_yq_pictavo_display_PainterNatives_fillCircleArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                          std::int32_t diameter, float start_angle, float arc_angle);
void Java_yq_pictavo_display_PainterNatives_drawEllipseArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                           std::int32_t width, std::int32_t height, float start_angle,
                                                           float arc_angle);
void Java_yq_pictavo_display_PainterNatives_fillEllipseArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                           std::int32_t width, std::int32_t height, float start_angle,
                                                           float arc_angle);
void Java_yq_pictavo_display_PainterNatives_drawEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                        std::int32_t width, std::int32_t height);
void Java_yq_pictavo_display_PainterNatives_fillEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                        std::int32_t width, std::int32_t height);
void Java_yq_pictavo_display_PainterNatives_drawCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                       std::int32_t diameter);
void Java_yq_pictavo_display_PainterNatives_fillCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                       std::int32_t diameter);
void Java_yq_pictavo_display_PainterNatives_drawImage(std::int8_t* gc_array, std::int8_t* image_array,
                                                      std::int32_t region_x, std::int32_t region_y, std::int32_t width,
                                                      std::int32_t height, std::int32_t x, std::int32_t y,
                                                      std::int32_t alpha);
void Java_yq_pictavo_display_PainterNatives_drawString(std::int8_t* gc_array, const std::uint16_t* chars,
                                                       std::int32_t offset, std::int32_t length,
                                                       const std::int8_t* font, std::int32_t x, std::int32_t y);
void Java_yq_pictavo_display_PainterNatives_drawRenderableString(std::int8_t* gc_array, const std::uint16_t* chars,
                                                                 std::int32_t offset, std::int32_t length,
                                                                 const std::int8_t* font, std::int32_t width,
                                                                 std::int32_t* context, std::int32_t x, std::int32_t y);
std::int32_t Java_yq_pictavo_display_PainterNatives_stringWidth(const std::uint16_t* chars, std::int32_t offset,
                                                                std::int32_t length, const std::int8_t* font);
std::int32_t Java_yq_pictavo_display_PainterNatives_initializeRenderableStringSNIContext(const std::uint16_t* chars,
                                                                                         std::int32_t offset,
                                                                                         std::int32_t length,
                                                                                         const std::int8_t* font,
                                                                                         std::int32_t* context);

void Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                               std::int32_t thickness, std::int32_t fade);
void Java_yq_drawing_DrawingPainterNatives_drawThickFadedLine(std::int8_t* gc_array, std::int32_t x1, std::int32_t y1,
                                                              std::int32_t x2, std::int32_t y2, std::int32_t thickness,
                                                              std::int32_t fade, std::int32_t start_cap,
                                                              std::int32_t end_cap);
void Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                                std::int32_t diameter, std::int32_t thickness,
                                                                std::int32_t fade);
void Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircleArc(std::int8_t* gc_array, std::int32_t x,
                                                                   std::int32_t y, std::int32_t diameter,
                                                                   float start_angle, float arc_angle,
                                                                   std::int32_t thickness, std::int32_t fade,
                                                                   std::int32_t start_cap, std::int32_t end_cap);
void Java_yq_drawing_DrawingPainterNatives_drawThickFadedEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                                 std::int32_t width, std::int32_t height,
                                                                 std::int32_t thickness, std::int32_t fade);
void Java_yq_drawing_DrawingPainterNatives_drawThickLine(std::int8_t* gc_array, std::int32_t x1, std::int32_t y1,
                                                         std::int32_t x2, std::int32_t y2, std::int32_t thickness);
void Java_yq_drawing_DrawingPainterNatives_drawThickCircle(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                           std::int32_t diameter, std::int32_t thickness);
void Java_yq_drawing_DrawingPainterNatives_drawThickEllipse(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                            std::int32_t width, std::int32_t height,
                                                            std::int32_t thickness);
void Java_yq_drawing_DrawingPainterNatives_drawThickCircleArc(std::int8_t* gc_array, std::int32_t x, std::int32_t y,
                                                              std::int32_t diameter, float start_angle, float arc_angle,
                                                              std::int32_t thickness);
void Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(std::int8_t* gc_array, std::int8_t* image_array,
                                                            std::int32_t region_x, std::int32_t region_y,
                                                            std::int32_t width, std::int32_t height, std::int32_t x,
                                                            std::int32_t y, std::int32_t flip, std::int32_t alpha);
void Java_yq_drawing_DrawingPainterNatives_drawRotatedImageNearestNeighbor(std::int8_t* gc_array,
                                                                           std::int8_t* image_array, std::int32_t x,
                                                                           std::int32_t y, std::int32_t rotation_x,
                                                                           std::int32_t rotation_y, float angle,
                                                                           std::int32_t alpha);
void Java_yq_drawing_DrawingPainterNatives_drawRotatedImageBilinear(std::int8_t* gc_array, std::int8_t* image_array,
                                                                    std::int32_t x, std::int32_t y,
                                                                    std::int32_t rotation_x, std::int32_t rotation_y,
                                                                    float angle, std::int32_t alpha);
void Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor(std::int8_t* gc_array,
                                                                          std::int8_t* image_array, std::int32_t x,
                                                                          std::int32_t y, float factor_x,
                                                                          float factor_y, std::int32_t alpha);
void Java_yq_drawing_DrawingPainterNatives_drawScaledImageBilinear(std::int8_t* gc_array, std::int8_t* image_array,
                                                                   std::int32_t x, std::int32_t y, float factor_x,
                                                                   float factor_y, std::int32_t alpha);
void Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(std::int8_t* gc_array, const std::uint16_t* chars,
                                                                    std::int32_t length, const std::int8_t* font,
                                                                    std::int32_t x, std::int32_t y, float factor_x,
                                                                    float factor_y);
void Java_yq_drawing_DrawingPainterNatives_drawScaledRenderableStringBilinear(
    std::int8_t* gc_array, const std::uint16_t* chars, std::int32_t length, const std::int8_t* font, std::int32_t width,
    std::int32_t* context, std::int32_t x, std::int32_t y, float factor_x, float factor_y);
void Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationBilinear(std::int8_t* gc_array, std::int32_t character,
                                                                        const std::int8_t* font, std::int32_t x,
                                                                        std::int32_t y, std::int32_t rotation_x,
                                                                        std::int32_t rotation_y, float angle,
                                                                        std::int32_t alpha);
void Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationNearestNeighbor(
    std::int8_t* gc_array, std::int32_t character, const std::int8_t* font, std::int32_t x, std::int32_t y,
    std::int32_t rotation_x, std::int32_t rotation_y, float angle, std::int32_t alpha);

// `xys`: x, y pairs, `count` ints of them; `work`: the polygon filler's
// buffer (96 bytes a point and 20 more; 404 for a deformed image).
void Java_yq_drawing_DrawingPainterNatives_drawPolygon(std::int8_t* gc_array, const std::int32_t* xys,
                                                       std::int32_t count);
void Java_yq_drawing_DrawingPainterNatives_fillPolygon(std::int8_t* gc_array, const std::int32_t* xys,
                                                       std::int32_t count, std::int8_t* work);
void Java_yq_drawing_DrawingPainterNatives_drawDeformedImage(std::int8_t* gc_array, std::int8_t* image_array,
                                                             const std::int32_t* xys, std::int8_t* work);

}  // extern "C"
