#include "platform/gt911/touch_script.h"

#include <sstream>

#include "platform/fbdev/frame_buffers.h"

namespace tarvelo::gt911 {

namespace {

constexpr std::uint32_t kMsPerTick = 5;

enum class Coordinate { Ok, Missing, OffPanel };

// A coordinate on the panel: below `size`. The event word keeps 12 bits of
// each, so a coordinate off the panel would land somewhere on it.
Coordinate coordinate(std::istringstream& in, std::uint32_t size, std::int32_t* v) {
    long long value = -1;
    if (!(in >> value)) return Coordinate::Missing;
    if (value < 0 || value >= size) return Coordinate::OffPanel;
    *v = static_cast<std::int32_t>(value);
    return Coordinate::Ok;
}

}  // namespace

bool parse_touch_script(const std::string& text, std::vector<Sample>* samples, std::string* error) {
    samples->clear();
    std::istringstream lines(text);
    std::string line;
    std::uint32_t number = 0;
    std::uint64_t last_ms = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream in(line);
        std::string word;
        long long ms = 0;
        if (!(in >> ms)) {
            if (in.eof() && line.find_first_not_of(" \t\r") == std::string::npos) continue;  // blank line
            *error = "line " + std::to_string(number) + ": a time in milliseconds is expected";
            return false;
        }
        if (ms < 0 || ms > 0xFFFFFFFFll * kMsPerTick || static_cast<std::uint64_t>(ms) < last_ms) {
            *error = "line " + std::to_string(number) + ": times must be non-negative and in order";
            return false;
        }
        last_ms = static_cast<std::uint64_t>(ms);
        Sample s{static_cast<std::uint32_t>(ms / kMsPerTick), SampleKind::Release, 0, 0};
        in >> word;
        bool ok = true;
        if (word == "press" || word == "move") {
            s.kind = word == "press" ? SampleKind::Press : SampleKind::Move;
            Coordinate c = coordinate(in, fbdev::kPanelWidth, &s.x);
            if (c == Coordinate::Ok) c = coordinate(in, fbdev::kPanelHeight, &s.y);
            if (c == Coordinate::OffPanel) {
                *error = "line " + std::to_string(number) + ": the point is off the " +
                         std::to_string(fbdev::kPanelWidth) + " x " + std::to_string(fbdev::kPanelHeight) + " panel";
                return false;
            }
            ok = c == Coordinate::Ok;
        } else if (word == "release") {
            s.kind = SampleKind::Release;
        } else if (word == "error") {
            s.kind = SampleKind::Error;
        } else {
            ok = false;
        }
        std::string rest;
        if (!ok || (in >> rest)) {
            *error = "line " + std::to_string(number) + ": expected 'press x y', 'move x y', 'release' or 'error'";
            return false;
        }
        samples->push_back(s);
    }
    return true;
}

}  // namespace tarvelo::gt911
