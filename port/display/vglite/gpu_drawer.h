// Drawer 0's entries of the GPU back end: the drawing operations the GPU
// takes for images of the display format, each falling back to the engine's
// software drawer where the GPU cannot serve. They replace the drawer
// tables' weak default entries of the same names, declared with every
// operation's in ui_drawing.h: fillRoundedRectangle, fillCircleArc,
// fillEllipseArc, fillEllipse, fillCircle, drawImage, drawRegion, the five
// thick faded shapes, the four thick shapes, drawFlippedImage and the rotated
// and scaled images (`UI_DRAWING_<operation>_0`), and the stride hook
// `UI_DRAWING_getNewImageStrideInBytes_0` (the GPU's row rule). Each drawing
// returns the drawing status: 0 done (or failed, see the drawing log), 1
// running on the GPU.
#pragma once

#include "platform/vglite/vg_lite.h"
#include "port/display/drawing/ui_drawing.h"
