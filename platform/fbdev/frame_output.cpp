#include "platform/fbdev/frame_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "FreeRTOS.h"
#include "platform/board/debug_console.h"
#include "platform/fbdev/fbdev.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/fbdev/window.h"
#include "platform/halt.h"
#include "sim_interrupt.h"
#include "task.h"

namespace tarvelo::fbdev {

namespace {

std::atomic<bool> g_window_started{false};
std::atomic<bool> g_window_open{false};
std::atomic<PointerSink> g_pointer_sink{nullptr};

// --- PNG files ------------------------------------------------------------------------------
//
// A frame's slot is reserved by the task that queues the frame for the
// panel (it may allocate and wait), filled at the vsync with a copy of the
// frame (the interrupt only copies), and written by the encoder thread,
// which then frees it. Frames are written in the order shown.

constexpr std::size_t kSlots = 16;

struct Frame {
    std::unique_ptr<std::uint16_t[]> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t number = 0;
};

// A queue of at most kSlots frames, without allocation.
struct FrameQueue {
    std::array<Frame*, kSlots> items{};
    std::size_t head = 0;
    std::size_t count = 0;
    bool empty() const { return count == 0; }
    void push(Frame* f) { items[(head + count++) % kSlots] = f; }
    Frame* pop() {
        Frame* f = items[head];
        head = (head + 1) % kSlots;
        --count;
        return f;
    }
};

struct PngOutput {
    std::string folder;
    std::atomic<FrameFileWriter> writer{write_png};
    std::atomic<bool> started{false};
    std::atomic<bool> failed{false};
    std::atomic<bool> missed{false};
    // Guarded by `mutex`: held only to move frames between the queues, never
    // across an allocation, a copy or an encoding.
    std::mutex mutex;
    std::condition_variable changed;
    std::array<std::unique_ptr<Frame>, kSlots> slots;
    std::size_t allocated = 0;
    FrameQueue free, reserved, to_write;
    bool writing = false;
    bool stopping = false;
    std::thread encoder;
};

PngOutput& png() {
    static PngOutput* output = new PngOutput;  // lives until the process ends
    return *output;
}

// The display task, before it queues a frame: a free slot for it, made
// when the 16 slots are not all made yet, else waited for.
void reserve_frame() {
    PngOutput& o = png();
    if (o.failed) return;
    for (;;) {
        // Host allocations and locks: not to be switched out meanwhile.
        vSimNoPreemptEnter();
        bool reserved = false, make = false;
        {
            std::lock_guard<std::mutex> lock(o.mutex);
            if (!o.free.empty()) {
                o.reserved.push(o.free.pop());
                reserved = true;
            } else if (o.allocated < kSlots) {
                make = true;
            }
        }
        if (make) {
            auto frame = std::make_unique<Frame>();
            frame->pixels = std::make_unique<std::uint16_t[]>(std::size_t{kPanelWidth} * kPanelHeight);
            std::lock_guard<std::mutex> lock(o.mutex);
            o.slots[o.allocated] = std::move(frame);
            o.reserved.push(o.slots[o.allocated++].get());
            reserved = true;
        }
        vSimNoPreemptExit();
        if (reserved) return;
        // The encoder is 16 frames behind.
        vTaskDelay(1);
    }
}

// The vsync interrupt: the frame the panel starts showing, copied into its
// reserved slot for the encoder.
void copy_frame(void*, const std::uint16_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t n) {
    PngOutput& o = png();
    if (o.failed) return;
    Frame* f = nullptr;
    {
        std::lock_guard<std::mutex> lock(o.mutex);
        if (!o.reserved.empty()) f = o.reserved.pop();
    }
    if (f == nullptr || std::size_t{width} * height > std::size_t{kPanelWidth} * kPanelHeight) {
        // A frame queued before the output started has no slot.
        if (!o.missed.exchange(true)) std::fprintf(stderr, "frame output: frame %u is not written\n", n);
        if (f != nullptr) {
            std::lock_guard<std::mutex> lock(o.mutex);
            o.free.push(f);
        }
        return;
    }
    std::memcpy(f->pixels.get(), pixels, std::size_t{width} * height * sizeof(std::uint16_t));
    f->width = width;
    f->height = height;
    f->number = n;
    {
        std::lock_guard<std::mutex> lock(o.mutex);
        o.to_write.push(f);
    }
    o.changed.notify_all();
}

void encode_frames() {
    PngOutput& o = png();
    std::unique_lock<std::mutex> lock(o.mutex);
    for (;;) {
        o.changed.wait(lock, [&] { return !o.to_write.empty() || o.stopping; });
        if (o.to_write.empty()) return;
        Frame* f = o.to_write.pop();
        o.writing = true;
        lock.unlock();
        // A folder that cannot take one frame will not take the next ones
        // either: say so once rather than at every frame.
        if (!o.failed &&
            !o.writer.load()(frame_file_name(o.folder, f->number), f->pixels.get(), f->width, f->height, f->width)) {
            o.failed = true;
            std::fprintf(stderr, "frame output: no more frames are written to %s\n", o.folder.c_str());
        }
        lock.lock();
        o.free.push(f);
        o.writing = false;
        o.changed.notify_all();
    }
}

// Waits (at most `limit`) until no frame waits to be written.
void drain(std::chrono::seconds limit) {
    PngOutput& o = png();
    if (!o.started) return;
    std::unique_lock<std::mutex> lock(o.mutex);
    o.changed.wait_for(lock, limit, [&] { return o.to_write.empty() && !o.writing; });
}

void drain_before_halt() { drain(std::chrono::seconds(60)); }

void start_png_output(const std::string& folder) {
    PngOutput& o = png();
    if (o.started.exchange(true)) return;
    std::error_code error;  // a folder that cannot be made fails at the first frame
    std::filesystem::create_directories(folder, error);
    o.folder = folder;
    o.failed = false;
    o.missed = false;
    o.stopping = false;
    o.encoder = std::thread(encode_frames);
    set_frame_queued_hook(reserve_frame);
    if (!add_frame_observer(copy_frame, nullptr)) std::fprintf(stderr, "frame output: too many frame observers\n");
    static std::once_flag hook_once;
    std::call_once(hook_once, [] { platform_before_halt(drain_before_halt); });
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

bool frame_folder_writable(const std::string& folder, std::string* why) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        *why = error.message();
        return false;
    }
    if (!std::filesystem::is_directory(folder, error)) {
        *why = "not a folder";
        return false;
    }
    // Permissions do not tell (the superuser writes anywhere, a read-only
    // mount refuses everyone): a file made and removed does.
    const std::string probe = folder + "/.frame-probe-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool check_frame_output_from_environment() {
    const FrameOutputOptions options = frame_output_options_from_environment();
    std::string why;
    if (options.png_folder.empty() || frame_folder_writable(options.png_folder, &why)) return true;
    DbgConsole_Printf("TARVELO_FRAMES: cannot write frames to %s (%s)\n", options.png_folder.c_str(), why.c_str());
    return false;
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
    // Host calls that take host locks: not to be switched out inside them.
    vSimNoPreemptEnter();
    if (!options.png_folder.empty()) start_png_output(options.png_folder);
    if (options.window && !g_window_started.exchange(true)) {
        if (!window_available())
            std::fprintf(stderr, "window: this build has no SDL2; frames go to PNG files only (TARVELO_FRAMES)\n");
        else if (open_window(kPanelWidth, kPanelHeight) && add_frame_observer(show_frame, nullptr))
            g_window_open = true;
    }
    vSimNoPreemptExit();
}

void finish_frame_output() {
    vSimNoPreemptEnter();
    drain(std::chrono::seconds(60));
    vSimNoPreemptExit();
}

void stop_frame_output() {
    PngOutput& o = png();
    if (!o.started) return;
    vSimNoPreemptEnter();
    set_frame_queued_hook(nullptr);
    remove_frame_observer(copy_frame, nullptr);
    {
        std::lock_guard<std::mutex> lock(o.mutex);
        o.stopping = true;
        // Reserved slots whose frames will not come.
        while (!o.reserved.empty()) o.free.push(o.reserved.pop());
    }
    o.changed.notify_all();
    if (o.encoder.joinable()) o.encoder.join();
    o.started = false;
    vSimNoPreemptExit();
}

void set_frame_file_writer(FrameFileWriter writer) { png().writer = writer != nullptr ? writer : write_png; }

}  // namespace tarvelo::fbdev
