// The GPU driver stand-in: driver state, the command queue, submission to a
// worker thread that stands for the GPU, the completion interrupt, and the
// test controls of vg_lite_sim.h.
//
// Only the task that draws calls the driver (and the display task, which
// only drains it); the worker thread sees whole batches handed over under a
// host mutex, so the state of the calling side needs no lock. Calls that
// touch the host heap run in a no-preemption region: a task switched out
// while holding the C library's heap lock would stall the next task that
// allocates.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/vglite/rasteriser.h"
#include "platform/vglite/vg_lite.h"
#include "platform/vglite/vg_lite_sim.h"
#include "sim_interrupt.h"

namespace tarvelo::vglite {
namespace {

struct NoPreempt {
    NoPreempt() { vSimNoPreemptEnter(); }
    ~NoPreempt() { vSimNoPreemptExit(); }
    NoPreempt(const NoPreempt&) = delete;
    NoPreempt& operator=(const NoPreempt&) = delete;
};

// State of the calling side.
struct Driver {
    bool initialised = false;
    bool premultiply = true;
    bool scissor_enabled = false;
    std::int32_t scissor[4]{};
    std::uint32_t premultiply_feature = 1;
    bool rasterise = true;
    bool recording = false;
    Completion completion = Completion::Worker;
    std::vector<Command> queued;
    std::vector<Command> recorded;
};
Driver driver;

std::atomic<std::int32_t> pending_failure{0};
std::atomic<FailOn> failure_on{FailOn::Any};
std::atomic<Delivery> delivery{Delivery::Rtos};
std::atomic<std::uint32_t> raised{0};
std::atomic<std::uint32_t> handled{0};

// The GPU: batches submitted by flushes, run in order by one worker thread.
class Gpu {
public:
    ~Gpu() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    void submit(std::vector<Command> batch, bool rasterise) {
        // The interrupt that will end the batch: time waits for it.
        const bool announced = delivery.load() == Delivery::Rtos;
        if (announced) vSimAnnounceInterrupt();
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        batches_.push_back(Batch{std::move(batch), rasterise, announced});
        ++busy_;
        cv_.notify_all();
    }

    void wait_idle() {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_cv_.wait(lock, [this] { return busy_ == 0; });
    }

private:
    struct Batch {
        std::vector<Command> commands;
        bool rasterise;
        bool announced;
    };

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return stopping_ || !batches_.empty(); });
            if (batches_.empty()) return;
            Batch batch = std::move(batches_.front());
            batches_.pop_front();
            lock.unlock();
            execute(batch.commands, batch.rasterise);
            complete(batch.announced);
            lock.lock();
            --busy_;
            idle_cv_.notify_all();
        }
    }

public:
    static void execute(const std::vector<Command>& commands, bool on) {
        if (!on) return;
        for (const Command& c : commands) rasterise(c);
    }

    // One completion interrupt for one flush, after its pixels.
    static void complete(bool announced = false) {
        raised.fetch_add(1, std::memory_order_relaxed);
        const SimIsr_t isr =
            delivery.load() == Delivery::Rtos ? static_cast<SimIsr_t>([](void*) { GPU2D_IRQHandler(); }) : nullptr;
        if (announced) vSimRaiseAnnouncedInterrupt(isr, nullptr);
        else if (isr != nullptr) vSimRaiseInterrupt(isr, nullptr);
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable idle_cv_;
    std::deque<Batch> batches_;
    std::uint32_t busy_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
Gpu gpu;

// The test hook: the pending failure replaces the result of the next call
// of its kind, once.
bool failing(FailOn kind, vg_lite_error_t* error) {
    if (pending_failure.load() == 0) return false;
    const FailOn on = failure_on.load();
    if (on != FailOn::Any && on != kind) return false;
    const std::int32_t e = pending_failure.exchange(0);
    if (e == 0) return false;
    *error = static_cast<vg_lite_error_t>(e);
    return true;
}

#define VG_LITE_FAIL_HOOK(kind)                                  \
    do {                                                         \
        vg_lite_error_t injected_;                               \
        if (failing(FailOn::kind, &injected_)) return injected_; \
    } while (0)

Command state_command(CommandKind kind) {
    Command c;
    c.kind = kind;
    c.scissor_enabled = driver.scissor_enabled;
    std::memcpy(c.scissor, driver.scissor, sizeof c.scissor);
    c.premultiply = driver.premultiply;
    return c;
}

void queue(Command c) {
    if (driver.recording) driver.recorded.push_back(c);
    driver.queued.push_back(std::move(c));
}

vg_lite_error_t submit() {
    NoPreempt region;
    std::vector<Command> batch;
    batch.swap(driver.queued);
    if (driver.completion == Completion::Immediate) {
        Gpu::execute(batch, driver.rasterise);
        Gpu::complete();
    } else {
        gpu.submit(std::move(batch), driver.rasterise);
    }
    return VG_LITE_SUCCESS;
}

}  // namespace

// --- test controls -----------------------------------------------------------
void reset() {
    gpu.wait_idle();
    NoPreempt region;
    driver = Driver{};
    pending_failure = 0;
    delivery = Delivery::Rtos;
    raised = 0;
    handled = 0;
}
void set_completion(Completion mode) { driver.completion = mode; }
void set_delivery(Delivery mode) { delivery = mode; }
void fail_next_call(vg_lite_error_t error, FailOn on) {
    failure_on = on;
    pending_failure = static_cast<std::int32_t>(error);
}
void set_premultiply_feature(std::uint32_t answer) { driver.premultiply_feature = answer; }
void set_rasterise(bool on) { driver.rasterise = on; }
void set_recording(bool on) { driver.recording = on; }
const std::vector<Command>& commands() { return driver.recorded; }
void clear_commands() {
    NoPreempt region;
    driver.recorded.clear();
}
std::uint32_t completions_raised() { return raised.load(); }
std::uint32_t interrupts_handled() { return handled.load(); }
void wait_idle() { gpu.wait_idle(); }
bool can_rasterise() {
#if TARVELO_VGLITE_CAIRO
    return true;
#else
    return false;
#endif
}
bool initialised() { return driver.initialised; }

}  // namespace tarvelo::vglite

using namespace tarvelo::vglite;

extern "C" {

// The stand-in keeps the command buffer on the host heap: the register base
// and the driver memory are accepted and not used.
void vg_lite_init_mem(uint32_t, uint32_t, void*, uint32_t) {}

vg_lite_error_t vg_lite_set_command_buffer_size(uint32_t size) {
    VG_LITE_FAIL_HOOK(Init);
    return size == 0 ? VG_LITE_INVALID_ARGUMENT : VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_init(int32_t width, int32_t height) {
    VG_LITE_FAIL_HOOK(Init);
    if (width <= 0 || height <= 0) return VG_LITE_INVALID_ARGUMENT;
    driver.initialised = true;
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_close(void) {
    gpu.wait_idle();
    driver.initialised = false;
    return VG_LITE_SUCCESS;
}

uint32_t vg_lite_query_feature(vg_lite_feature_t feature) {
    return feature == VG_LITE_FEATURE_PREMULTIPLY ? driver.premultiply_feature : 0;
}

vg_lite_error_t vg_lite_enable_premultiply(void) {
    VG_LITE_FAIL_HOOK(Premultiply);
    driver.premultiply = true;
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_disable_premultiply(void) {
    VG_LITE_FAIL_HOOK(Premultiply);
    if (driver.premultiply_feature == 0) return VG_LITE_NOT_SUPPORT;
    driver.premultiply = false;
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_set_scissor(int32_t x, int32_t y, int32_t width, int32_t height) {
    VG_LITE_FAIL_HOOK(Scissor);
    driver.scissor[0] = x;
    driver.scissor[1] = y;
    driver.scissor[2] = width;
    driver.scissor[3] = height;
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_enable_scissor(void) {
    VG_LITE_FAIL_HOOK(Scissor);
    driver.scissor_enabled = true;
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_disable_scissor(void) {
    VG_LITE_FAIL_HOOK(Scissor);
    driver.scissor_enabled = false;
    return VG_LITE_SUCCESS;
}

int32_t vg_lite_get_scissor(int32_t rectangle[4]) {
    for (int i = 0; i < 4; ++i) rectangle[i] = driver.scissor_enabled ? driver.scissor[i] : -1;
    return driver.scissor_enabled ? 1 : 0;
}

vg_lite_error_t vg_lite_init_path(vg_lite_path_t* path, vg_lite_format_t format, vg_lite_quality_t quality,
                                  uint32_t length, void* data, float min_x, float min_y, float max_x, float max_y) {
    if (path == nullptr) return VG_LITE_INVALID_ARGUMENT;
    path->format = format;
    path->quality = quality;
    path->path_length = static_cast<int32_t>(length);
    path->path = data;
    path->bounding_box[0] = min_x;
    path->bounding_box[1] = min_y;
    path->bounding_box[2] = max_x;
    path->bounding_box[3] = max_y;
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_draw(vg_lite_buffer_t* target, vg_lite_path_t* path, vg_lite_fill_t fill_rule,
                             vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color) {
    VG_LITE_FAIL_HOOK(Draw);
    if (target == nullptr || path == nullptr || matrix == nullptr || path->path == nullptr || path->path_length < 0 ||
        path->format != VG_LITE_PATH_S16)
        return VG_LITE_INVALID_ARGUMENT;
    NoPreempt region;
    Command c = state_command(CommandKind::Draw);
    c.target = *target;
    const auto* bytes = static_cast<const std::uint8_t*>(path->path);
    c.path.assign(bytes, bytes + path->path_length);
    std::memcpy(c.bounding_box, path->bounding_box, sizeof c.bounding_box);
    c.fill_rule = fill_rule;
    c.matrix = *matrix;
    c.blend = blend;
    c.color = color;
    queue(std::move(c));
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_blit_rect(vg_lite_buffer_t* target, vg_lite_buffer_t* source, vg_lite_rectangle_t rect,
                                  vg_lite_matrix_t* matrix, vg_lite_blend_t blend, vg_lite_color_t color,
                                  vg_lite_filter_t filter) {
    VG_LITE_FAIL_HOOK(Blit);
    if (target == nullptr || source == nullptr || matrix == nullptr || rect == nullptr) return VG_LITE_INVALID_ARGUMENT;
    NoPreempt region;
    Command c = state_command(CommandKind::Blit);
    c.target = *target;
    c.source = *source;
    std::memcpy(c.rect, rect, sizeof c.rect);
    c.matrix = *matrix;
    c.blend = blend;
    c.color = color;
    c.filter = filter;
    queue(std::move(c));
    return VG_LITE_SUCCESS;
}

vg_lite_error_t vg_lite_flush(void) {
    VG_LITE_FAIL_HOOK(Flush);
    if (driver.recording) {
        NoPreempt region;
        driver.recorded.push_back(state_command(CommandKind::Flush));
    }
    return submit();
}

vg_lite_error_t vg_lite_finish(void) {
    VG_LITE_FAIL_HOOK(Flush);
    if (driver.recording) {
        NoPreempt region;
        driver.recorded.push_back(state_command(CommandKind::Finish));
    }
    if (!driver.queued.empty()) submit();
    gpu.wait_idle();
    return VG_LITE_SUCCESS;
}

void vg_lite_IRQHandler(void) { handled.fetch_add(1, std::memory_order_relaxed); }

// Without a display port the interrupt reaches the driver only.
__attribute__((weak)) void GPU2D_IRQHandler(void) { vg_lite_IRQHandler(); }

}  // extern "C"
