#include "platform/gt911/gt911_controller.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/board/debug_console.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/gt911/fast_gpio.h"
#include "sim_interrupt.h"
#include "task.h"
#include "timers.h"

namespace tarvelo::gt911 {

namespace {

struct Finger {
    bool touched = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Touched by the touch task (reads), the timer task (script edges) and the
// window's thread (live input): guarded by the kernel's critical section.
std::vector<Sample> g_script;
std::size_t g_next_edge = 0;       // next scripted sample whose edge is due
std::size_t g_consumed_errors = 0;  // scripted errors already reported
Finger g_live;
bool g_live_used = false;
TickType_t g_live_tick = 0;  // tick of the last live report
bool g_error_pending = false;
TimerHandle_t g_edge_timer = nullptr;
TimerHandle_t g_report_timer = nullptr;
// Script times count from the controller's start.
TickType_t g_base = 0;

// The finger at `now` from the script: the last press/move/release due;
// `errors` counts the scripted errors due.
Finger scripted_finger(TickType_t now, std::size_t* errors) {
    Finger f;
    now -= g_base;
    *errors = 0;
    for (const Sample& s : g_script) {
        if (s.tick > now) break;
        switch (s.kind) {
            case SampleKind::Press:
            case SampleKind::Move: f = {true, s.x, s.y}; break;
            case SampleKind::Release: f = {}; break;
            case SampleKind::Error: ++*errors; break;
        }
    }
    return f;
}

// The finger at `now`, live or scripted (in the kernel's critical section).
Finger finger_at(TickType_t now) {
    std::size_t errors = 0;
    return g_live_used ? g_live : scripted_finger(now, &errors);
}

// While a finger is down the controller reports at its report rate, each
// report an interrupt, and once more when the finger lifts: a read that
// failed (the touch task then stops polling) is followed by another that
// continues the touch or releases it.
void report_timer(TimerHandle_t) {
    taskENTER_CRITICAL();
    const bool down = finger_at(xTaskGetTickCount()).touched;
    taskEXIT_CRITICAL();
    gpio2_input_edge(kIntPin, true);
    if (down) xTimerReset(g_report_timer, 0);
}

void arm_next_edge();

void edge_timer(TimerHandle_t) {
    taskENTER_CRITICAL();
    const TickType_t now = xTaskGetTickCount() - g_base;
    bool pulse = false;
    while (g_next_edge < g_script.size() && g_script[g_next_edge].tick <= now) {
        const SampleKind k = g_script[g_next_edge].kind;
        if (k == SampleKind::Press || k == SampleKind::Move) pulse = true;
        ++g_next_edge;
    }
    taskEXIT_CRITICAL();
    if (pulse) {
        gpio2_input_edge(kIntPin, true);
        if (g_report_timer != nullptr) xTimerReset(g_report_timer, 0);
    }
    arm_next_edge();
}

void arm_next_edge() {
    taskENTER_CRITICAL();
    const bool more = g_next_edge < g_script.size();
    const TickType_t due = more ? g_script[g_next_edge].tick + g_base : 0;
    taskEXIT_CRITICAL();
    if (!more || g_edge_timer == nullptr) return;
    const TickType_t now = xTaskGetTickCount();
    xTimerChangePeriod(g_edge_timer, due > now ? due - now : 1, portMAX_DELAY);
}

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

void use_script(std::vector<Sample> samples) {
    taskENTER_CRITICAL();
    g_script = std::move(samples);
    g_next_edge = 0;
    g_consumed_errors = 0;
    taskEXIT_CRITICAL();
}

bool script_given() {
    taskENTER_CRITICAL();
    const bool given = !g_script.empty();
    taskEXIT_CRITICAL();
    return given;
}

bool script_end(TickType_t* tick) {
    taskENTER_CRITICAL();
    const bool given = !g_script.empty();
    if (given) *tick = g_base + g_script.back().tick;
    taskEXIT_CRITICAL();
    return given;
}

bool load_script_from_environment() {
    const char* path = std::getenv("TARVELO_TOUCH_SCRIPT");
    if (path == nullptr || *path == '\0') return true;
    std::string error;
    std::stringstream text;
    // A directory opens as a stream that reads nothing: only a file is a
    // script.
    struct stat st {};
    if (::stat(path, &st) != 0) {
        error = "cannot read the file";
    } else if (!S_ISREG(st.st_mode)) {
        error = "not a file";
    } else {
        std::ifstream in(path);
        text << in.rdbuf();
        if (!in) error = "cannot read the file";
    }
    std::vector<Sample> samples;
    if (!error.empty() || !parse_touch_script(text.str(), &samples, &error)) {
        // On the console, in order with the rest of the firmware's output.
        DbgConsole_Printf("touch script %s: %s; no scripted touches\n", path, error.c_str());
        return false;
    }
    use_script(std::move(samples));
    return true;
}

void set_live_touch(bool touched, std::int32_t x, std::int32_t y) {
    // The controller reports points of its panel only (the event word keeps
    // 12 bits of each coordinate): a pointer beyond an edge touches the edge.
    const auto clamp = [](std::int32_t v, std::uint32_t size) {
        return v < 0 ? 0 : (v >= static_cast<std::int32_t>(size) ? static_cast<std::int32_t>(size) - 1 : v);
    };
    // Called by the window's host thread, which is no task: it takes the
    // CPU as an interrupt would.
    vSimInterruptEnter();
    g_live = {touched, clamp(x, fbdev::kPanelWidth), clamp(y, fbdev::kPanelHeight)};
    g_live_used = true;
    g_live_tick = xTaskGetTickCountFromISR();
    if (touched && g_report_timer != nullptr) {
        BaseType_t woken = pdFALSE;
        xTimerResetFromISR(g_report_timer, &woken);
        portYIELD_FROM_ISR(woken);
    }
    vSimInterruptExit();
    if (touched) gpio2_input_edge(kIntPin, true);
}

LiveTouch live_touch() {
    taskENTER_CRITICAL();
    const LiveTouch t{g_live_used, g_live.touched, g_live_tick};
    taskEXIT_CRITICAL();
    return t;
}

void inject_bus_error() {
    taskENTER_CRITICAL();
    g_error_pending = true;
    taskEXIT_CRITICAL();
}

void start_controller() {
    taskENTER_CRITICAL();
    g_base = xTaskGetTickCount();
    taskEXIT_CRITICAL();
    if (g_edge_timer == nullptr) g_edge_timer = xTimerCreate("touch", 1, pdFALSE, nullptr, edge_timer);
    if (g_report_timer == nullptr)
        g_report_timer = xTimerCreate("touch report", kReportTicks, pdFALSE, nullptr, report_timer);
    arm_next_edge();
}

void reset_controller() {
    taskENTER_CRITICAL();
    g_script.clear();
    g_next_edge = 0;
    g_consumed_errors = 0;
    g_live = {};
    g_live_used = false;
    g_live_tick = 0;
    g_error_pending = false;
    g_edge_timer = nullptr;  // timers die with the scheduler
    g_report_timer = nullptr;
    g_base = 0;
    taskEXIT_CRITICAL();
}

bool controller_read(std::uint16_t sub_address, std::uint8_t* data, std::uint32_t length) {
    std::uint8_t regs[16] = {};
    taskENTER_CRITICAL();
    bool error = g_error_pending;
    g_error_pending = false;
    std::size_t errors = 0;
    const Finger f = g_live_used ? g_live : scripted_finger(xTaskGetTickCount(), &errors);
    // Scripted errors due and not yet reported make this read fail.
    if (errors > g_consumed_errors) {
        g_consumed_errors = errors;
        error = true;
    }
    taskEXIT_CRITICAL();
    if (error) return false;
    // The register window 0x8140..0x814F then the first point.
    regs[0] = '9';
    regs[1] = '1';
    regs[2] = '1';
    put16(&regs[kRegResolution - kRegProductId], fbdev::kPanelWidth);
    put16(&regs[kRegResolution - kRegProductId + 2], fbdev::kPanelHeight);
    regs[kRegStatus - kRegProductId] = static_cast<std::uint8_t>(0x80 | (f.touched ? 1 : 0));
    std::uint8_t point[8] = {};
    if (f.touched) {
        point[0] = 0;
        put16(&point[1], static_cast<std::uint32_t>(f.x));
        put16(&point[3], static_cast<std::uint32_t>(f.y));
        point[5] = 16;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint32_t a = sub_address + i;
        if (a >= kRegProductId && a < kRegPoint1) data[i] = regs[a - kRegProductId];
        else if (a >= kRegPoint1 && a < kRegPoint1 + 8u) data[i] = point[a - kRegPoint1];
        else data[i] = 0;
    }
    return true;
}

bool controller_write(std::uint16_t sub_address, const std::uint8_t*, std::uint32_t length) {
    taskENTER_CRITICAL();
    const bool error = g_error_pending;
    g_error_pending = false;
    taskEXIT_CRITICAL();
    // Writing the status register acknowledges the report; nothing else is
    // kept.
    (void)sub_address;
    (void)length;
    return !error;
}

}  // namespace tarvelo::gt911
