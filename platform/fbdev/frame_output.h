// Where the frames the panel shows go on the host: PNG files in a folder
// and, when built with SDL2 and asked for, a window (which also feeds the
// touch controller with the mouse).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::fbdev {

// RGB565 pixels (rows of `stride_pixels`) as 8-bit RGB triplets, the low
// bits filled from the high ones so that white stays white.
std::vector<std::uint8_t> rgb565_to_rgb888(const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height,
                                           std::uint32_t stride_pixels);

// Writes the pixels as a PNG file; false (and a message on stderr) on
// failure.
bool write_png(const std::string& path, const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height,
               std::uint32_t stride_pixels);

// The file of frame `n` in `folder`: folder/frame-00001.png.
std::string frame_file_name(const std::string& folder, std::uint32_t n);

struct FrameOutputOptions {
    std::string png_folder;  // empty: no PNG files
    bool window = false;     // open the window (when built with SDL2)
};

// From the environment: TARVELO_FRAMES=<folder> and TARVELO_WINDOW=1.
FrameOutputOptions frame_output_options_from_environment();

// Whether frames can be written to `folder`: it is made with its parents
// when missing, and a file can be made in it. When not, `why` says why.
bool frame_folder_writable(const std::string& folder, std::string* why);
// The firmware's start: a TARVELO_FRAMES folder that cannot be written is
// refused on the console (false), before anything runs, rather than
// losing every frame of the run.
bool check_frame_output_from_environment();

// Starts the outputs for the device's frames (each once; later calls add
// nothing). The PNG folder is created with its parents. Frames go to PNG
// files from a copy made at the vsync, encoded on a host thread of its own,
// so that the firmware's tasks and interrupts never wait for the encoding
// (unless the encoder falls 16 frames behind: the task that queues the next
// frame then waits for it). The window, if asked for but not available, is
// reported and skipped.
void start_frame_output(const FrameOutputOptions& options);

// Waits until every frame shown so far has been written (also done before
// the process halts).
void finish_frame_output();
// Stops the PNG output: the frames shown so far are written, no later one
// (tests).
void stop_frame_output();
// How a frame becomes a file (write_png unless a test replaces it).
using FrameFileWriter = bool (*)(const std::string& path, const std::uint16_t* pixels, std::uint32_t width,
                                 std::uint32_t height, std::uint32_t stride_pixels);
void set_frame_file_writer(FrameFileWriter writer);

// Whether a window was compiled in; whether one is open.
bool window_available();
bool window_open();

}  // namespace tarvelo::fbdev
