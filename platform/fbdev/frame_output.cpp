#include "platform/fbdev/frame_output.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fbdev/fbdev.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/fbdev/window.h"
#include "sim_interrupt.h"

namespace tarvelo::fbdev {

namespace {

std::string g_png_folder;
std::atomic<bool> g_started{false};
std::atomic<bool> g_window_open{false};
std::atomic<PointerSink> g_pointer_sink{nullptr};
std::atomic<bool> g_png_failed{false};

void write_frame(void*, const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t n) {
    // A folder that cannot take one frame will not take the next ones
    // either: say so once rather than at every frame.
    if (g_png_failed) return;
    if (!write_png(frame_file_name(g_png_folder, n), pixels, width, height, width)) {
        g_png_failed = true;
        std::fprintf(stderr, "frame output: no more frames are written to %s\n", g_png_folder.c_str());
    }
}

void show_frame(void*, const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t) {
    window_show_frame(pixels, width, height);
}

}  // namespace

void set_pointer_sink(PointerSink sink) { g_pointer_sink = sink; }
PointerSink pointer_sink() { return g_pointer_sink.load(); }

FrameOutputOptions frame_output_options_from_environment() {
    FrameOutputOptions o;
    if (const char* folder = std::getenv("TARVELO_FRAMES"); folder != nullptr) o.png_folder = folder;
    if (const char* window = std::getenv("TARVELO_WINDOW"); window != nullptr)
        o.window = std::strcmp(window, "") != 0 && std::strcmp(window, "0") != 0;
    return o;
}

bool window_available() {
#ifdef TARVELO_HAVE_SDL2
    return true;
#else
    return false;
#endif
}

bool window_open() { return g_window_open; }

void start_frame_output(const FrameOutputOptions& options) {
    if (g_started.exchange(true)) return;
    // Host calls that take host locks: not to be switched out inside them.
    vSimNoPreemptEnter();
    if (!options.png_folder.empty()) {
        mkdir(options.png_folder.c_str(), 0777);
        g_png_folder = options.png_folder;
        if (!add_frame_observer(write_frame, nullptr))
            std::fprintf(stderr, "frame output: too many frame observers\n");
    }
    if (options.window) {
        if (!window_available())
            std::fprintf(stderr, "window: this build has no SDL2; frames go to PNG files only (TARVELO_FRAMES)\n");
        else if (open_window(kPanelWidth, kPanelHeight) && add_frame_observer(show_frame, nullptr))
            g_window_open = true;
    }
    vSimNoPreemptExit();
}

}  // namespace tarvelo::fbdev
