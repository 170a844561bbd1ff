# The display controller's frame-buffer device and where its frames go: PNG
# files, and a window when SDL2 is there (never in a cross build).
target_sources(tarvelo_platform PRIVATE
  fbdev/fbdev.cpp
  fbdev/frame_buffers.cpp
  fbdev/frame_output.cpp
  fbdev/frame_png.cpp
)
find_package(PNG REQUIRED)
target_link_libraries(tarvelo_platform PUBLIC PNG::PNG)
set(sdl2_found OFF)
if(NOT CMAKE_CROSSCOMPILING)
  find_package(SDL2 QUIET)
  if(SDL2_FOUND)
    set(sdl2_found ON)
  endif()
endif()
option(TARVELO_WINDOW "Show the display in an SDL2 window when asked (TARVELO_WINDOW=1)" ${sdl2_found})
set(TARVELO_WINDOW_SDL2 OFF CACHE INTERNAL "The window is built with SDL2")
if(TARVELO_WINDOW AND sdl2_found)
  set(TARVELO_WINDOW_SDL2 ON CACHE INTERNAL "The window is built with SDL2")
  target_sources(tarvelo_platform PRIVATE fbdev/window_sdl.cpp)
  target_compile_definitions(tarvelo_platform PRIVATE TARVELO_HAVE_SDL2=1)
  if(TARGET SDL2::SDL2)
    target_link_libraries(tarvelo_platform PRIVATE SDL2::SDL2)
  else()
    target_include_directories(tarvelo_platform SYSTEM PRIVATE ${SDL2_INCLUDE_DIRS})
    target_link_libraries(tarvelo_platform PRIVATE ${SDL2_LIBRARIES})
  endif()
else()
  target_sources(tarvelo_platform PRIVATE fbdev/window_none.cpp)
endif()
