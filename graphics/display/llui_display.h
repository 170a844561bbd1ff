// The graphics engine as the display port and the drawers see it: the
// accessors of image descriptors and graphics contexts, the clip, the flush
// protocol, and the hooks the port implements (`LLUI_DISPLAY_IMPL_*`; the
// engine supplies weak defaults where the port may keep them).
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"

extern "C" {

// The display record the port fills at start-up.
struct LLUI_DISPLAY_SInitData {
    void* binary_semaphore_0;  // guards the flush state
    void* binary_semaphore_1;  // given whenever an asynchronous drawing ends
    std::uint32_t lcd_buffer_address;
    std::uint32_t lcd_width;
    std::uint32_t lcd_height;
    std::uint32_t memory_width;   // 0: the display width
    std::uint32_t memory_height;  // 0: the display height
};

// --- accessors (none locks) -------------------------------------------------
bool LLUI_DISPLAY_isLCD(const SPictavoImage* image);
bool LLUI_DISPLAY_isImageClosed(const SPictavoImage* image);
bool LLUI_DISPLAY_isCustomFormat(std::int32_t format);
bool LLUI_DISPLAY_isDisplayFormat(std::int32_t format);
std::uint32_t LLUI_DISPLAY_getBufferAddress(const SPictavoImage* image);
void LLUI_DISPLAY_setBufferAddress(SPictavoImage* image, std::uint32_t address);
std::uint32_t LLUI_DISPLAY_getImageBPP(const SPictavoImage* image);
std::uint32_t LLUI_DISPLAY_getStrideInBytes(const SPictavoImage* image);
std::uint32_t LLUI_DISPLAY_getStrideInPixels(const SPictavoImage* image);
bool LLUI_DISPLAY_isTransparent(const SPictavoImage* image);
std::uint32_t LLUI_DISPLAY_readPixel(const SPictavoImage* image, std::int32_t x, std::int32_t y);
std::int32_t LLUI_DISPLAY_isColor(void);
std::uint32_t LLUI_DISPLAY_getNumberOfColors(void);
void LLUI_DISPLAY_setForegroundColor(SPictavoGraphicsContext* gc, std::uint32_t argb);
void LLUI_DISPLAY_setBackgroundColor(SPictavoGraphicsContext* gc, std::uint32_t argb, std::int32_t set);
void LLUI_DISPLAY_setEllipsis(SPictavoGraphicsContext* gc, std::uint32_t width);
void LLUI_DISPLAY_configureClip(SPictavoGraphicsContext* gc, bool enable);
bool LLUI_DISPLAY_isClipEnabled(const SPictavoGraphicsContext* gc);
bool LLUI_DISPLAY_isEmptyClip(const SPictavoGraphicsContext* gc);
void LLUI_DISPLAY_resetClip(SPictavoGraphicsContext* gc);
void LLUI_DISPLAY_PRIVATE_setClip(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                  std::int32_t h);
void LLUI_DISPLAY_PRIVATE_intersectClip(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                        std::int32_t h);
bool LLUI_DISPLAY_isPixelInClip(const SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y);
bool LLUI_DISPLAY_isRectangleInClip(const SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                    std::int32_t x2, std::int32_t y2);
bool LLUI_DISPLAY_isRegionInClip(const SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y, std::int32_t w,
                                 std::int32_t h);
bool LLUI_DISPLAY_clipRectangle(const SPictavoGraphicsContext* gc, std::int32_t* x1, std::int32_t* y1,
                                std::int32_t* x2, std::int32_t* y2);
bool LLUI_DISPLAY_clipHorizontalLine(const SPictavoGraphicsContext* gc, std::int32_t* x1, std::int32_t* x2,
                                     std::int32_t y);
bool LLUI_DISPLAY_clipVerticalLine(const SPictavoGraphicsContext* gc, std::int32_t* y1, std::int32_t* y2,
                                   std::int32_t x);
bool LLUI_DISPLAY_clipRegion(const SPictavoGraphicsContext* gc, std::int32_t* src_x, std::int32_t* src_y,
                             std::int32_t* w, std::int32_t* h, std::int32_t* dst_x, std::int32_t* dst_y);
void LLUI_DISPLAY_closeOffScreen(SPictavoImage* image);
void LLUI_DISPLAY_freeImage(void* block);
void LLUI_DISPLAY_reportWarning(SPictavoGraphicsContext* gc, std::uint32_t bits);

// --- the flush protocol -----------------------------------------------------
bool LLUI_DISPLAY_requestDrawing(SPictavoGraphicsContext* gc, void* native);
void LLUI_DISPLAY_setDrawingStatus(std::int32_t status);
void LLUI_DISPLAY_notifyAsynchronousDrawingEnd(bool from_interrupt);
bool LLUI_DISPLAY_setBackBuffer(std::uint8_t flush_identifier, std::uint32_t address, bool from_interrupt);
const SPictavoImage* LLUI_DISPLAY_getSourceImage(const SPictavoImage* image);
std::int32_t LLUI_DISPLAY_initialize(SPictavoGraphicsContext* gc, std::uint32_t size);

// --- hooks of the port -------------------------------------------------------
void LLUI_DISPLAY_IMPL_initialize(LLUI_DISPLAY_SInitData* init_data);
void LLUI_DISPLAY_IMPL_binarySemaphoreTake(void* semaphore);
void LLUI_DISPLAY_IMPL_binarySemaphoreGive(void* semaphore, bool from_interrupt);
std::int32_t LLUI_DISPLAY_IMPL_newDrawingRegion(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                                std::int32_t x2, std::int32_t y2, bool drawing_now);
std::int32_t LLUI_DISPLAY_IMPL_refresh(SPictavoGraphicsContext* gc, std::uint8_t flush_identifier);
std::int32_t LLUI_DISPLAY_IMPL_getDrawerIdentifier(std::int32_t format);
std::uint32_t LLUI_DISPLAY_IMPL_getNewImageStrideInBytes(std::int32_t format, std::uint32_t width,
                                                         std::uint32_t height, std::uint32_t default_stride);
void LLUI_DISPLAY_IMPL_adjustNewImageCharacteristics(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                     std::uint32_t* data_size, std::uint32_t* data_alignment);
void LLUI_DISPLAY_IMPL_initializeNewImage(SPictavoImage* image);
void LLUI_DISPLAY_IMPL_freeImageResources(SPictavoImage* image);
void LLUI_DISPLAY_IMPL_imageHeapInitialize(std::uint8_t* start, std::uint8_t* end);
void* LLUI_DISPLAY_IMPL_imageHeapAllocate(std::uint32_t size);
void LLUI_DISPLAY_IMPL_imageHeapFree(void* block);
void LLUI_DISPLAY_IMPL_setContrast(std::int32_t contrast);
std::int32_t LLUI_DISPLAY_IMPL_getContrast(void);
bool LLUI_DISPLAY_IMPL_hasBacklight(void);
void LLUI_DISPLAY_IMPL_setBacklight(std::int32_t backlight);
std::int32_t LLUI_DISPLAY_IMPL_getBacklight(void);
bool LLUI_DISPLAY_IMPL_isColor(void);
std::uint32_t LLUI_DISPLAY_IMPL_getNumberOfColors(void);
bool LLUI_DISPLAY_IMPL_isDoubleBuffered(void);
std::uint32_t LLUI_DISPLAY_IMPL_convertARGBColorToDisplayColor(std::uint32_t argb);
std::uint32_t LLUI_DISPLAY_IMPL_convertDisplayColorToARGBColor(std::uint32_t colour);
bool LLUI_DISPLAY_IMPL_prepareBlendingOfIndexedColors(std::uint32_t* foreground, std::uint32_t* background);

}  // extern "C"
