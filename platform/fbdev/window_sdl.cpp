#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/fbdev/window.h"
#include "platform/stop_request.h"

namespace tarvelo::fbdev {

namespace {

std::mutex g_frame_mutex;
std::vector<std::uint16_t> g_frame;
std::uint32_t g_width = 0, g_height = 0;
Uint32 g_frame_event = static_cast<Uint32>(-1);
bool g_open = false;

// 90% of the usable screen at most, never enlarged.
void fitted_size(std::uint32_t w, std::uint32_t h, int* out_w, int* out_h) {
    SDL_Rect usable{0, 0, static_cast<int>(w), static_cast<int>(h)};
    SDL_GetDisplayUsableBounds(0, &usable);
    const double sx = 0.9 * usable.w / w, sy = 0.9 * usable.h / h;
    double s = sx < sy ? sx : sy;
    if (s > 1.0) s = 1.0;
    *out_w = static_cast<int>(w * s);
    *out_h = static_cast<int>(h * s);
}

// Window coordinates to panel coordinates (a drag beyond the window's edge
// goes beyond the panel's; the touch controller keeps it on the panel).
void to_panel(SDL_Window* window, int wx, int wy, std::int32_t* x, std::int32_t* y) {
    int ww = 1, wh = 1;
    SDL_GetWindowSize(window, &ww, &wh);
    const auto scale = [](int v, int window_size, std::uint32_t panel_size) {
        const std::int64_t p = static_cast<std::int64_t>(v) * panel_size / (window_size > 0 ? window_size : 1);
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(p, -1, panel_size));
    };
    *x = scale(wx, ww, g_width);
    *y = scale(wy, wh, g_height);
}

void run_window(std::promise<bool>* opened) {
    // Ctrl-C and SIGTERM stop the firmware the same way with or without a
    // window (platform/stop_request.h), not through SDL's quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "window: no display (%s)\n", SDL_GetError());
        opened->set_value(false);
        return;
    }
    // Drivers that draw nowhere a person sees are no display.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
        std::strcmp(driver, "evdev") == 0 || std::strcmp(driver, "KMSDRM") == 0) {
        std::fprintf(stderr, "window: no display (video driver %s)\n", driver != nullptr ? driver : "none");
        SDL_Quit();
        opened->set_value(false);
        return;
    }
    int w = 0, h = 0;
    fitted_size(g_width, g_height, &w, &h);
    SDL_Window* window = SDL_CreateWindow("Tarvelo", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                                          SDL_WINDOW_RESIZABLE);
    SDL_Renderer* renderer = window != nullptr ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    SDL_Texture* texture = renderer != nullptr ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565,
                                                                   SDL_TEXTUREACCESS_STREAMING,
                                                                   static_cast<int>(g_width),
                                                                   static_cast<int>(g_height))
                                               : nullptr;
    if (texture == nullptr) {
        std::fprintf(stderr, "window: cannot open (%s)\n", SDL_GetError());
        opened->set_value(false);
        return;
    }
    g_frame_event = SDL_RegisterEvents(1);
    {
        std::lock_guard<std::mutex> lock(g_frame_mutex);
        g_open = true;
    }
    opened->set_value(true);
    bool pressed = false;
    for (;;) {
        SDL_Event e;
        if (!SDL_WaitEvent(&e)) continue;
        std::int32_t x = 0, y = 0;
        const PointerSink sink = pointer_sink();
        switch (e.type) {
            case SDL_QUIT:
                // The firmware stops the way it stops by itself; frames
                // still come meanwhile, and the window goes on taking them
                // out of sight.
                SDL_HideWindow(window);
                platform_request_stop(TARVELO_EXIT_WINDOW_CLOSED);
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button != SDL_BUTTON_LEFT) break;
                pressed = true;
                to_panel(window, e.button.x, e.button.y, &x, &y);
                if (sink != nullptr) sink(true, x, y);
                break;
            case SDL_MOUSEMOTION:
                if (!pressed) break;
                to_panel(window, e.motion.x, e.motion.y, &x, &y);
                if (sink != nullptr) sink(true, x, y);
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.button != SDL_BUTTON_LEFT) break;
                pressed = false;
                if (sink != nullptr) sink(false, 0, 0);
                break;
            default:
                break;
        }
        if (e.type == g_frame_event || e.type == SDL_WINDOWEVENT) {
            {
                std::lock_guard<std::mutex> lock(g_frame_mutex);
                if (!g_frame.empty())
                    SDL_UpdateTexture(texture, nullptr, g_frame.data(), static_cast<int>(g_width * 2));
            }
            SDL_RenderClear(renderer);
            SDL_RenderCopy(renderer, texture, nullptr, nullptr);
            SDL_RenderPresent(renderer);
        }
    }
}

}  // namespace

bool open_window(std::uint32_t width, std::uint32_t height) {
    g_width = width;
    g_height = height;
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    std::thread(run_window, &opened).detach();
    return result.get();
}

void window_show_frame(const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height) {
    {
        std::lock_guard<std::mutex> lock(g_frame_mutex);
        if (!g_open || width != g_width || height != g_height) return;
        g_frame.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
    }
    SDL_Event e{};
    e.type = g_frame_event;
    SDL_PushEvent(&e);
}

}  // namespace tarvelo::fbdev
