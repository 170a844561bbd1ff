// Reduces a finding of the install fuzzers to the fewest changed bytes of
// its seed that still give the same fault, and says what of the file each
// remaining change hits:
//
//   fuzz_reduce_finding [-t SECONDS] [-q] RUNNER SEED_DIR FINDING
//
// RUNNER is the fuzz target that faulted on FINDING (records or run mode);
// SEED_DIR holds the seeds (*.tvf) with the maps the linker wrote for them
// (*.tvf.map): the seed nearest to the finding is its seed. The changes
// are reduced by delta debugging, each batch of candidates run in one
// process of RUNNER (a fault there is confirmed alone when earlier inputs
// ran before it). The CRC and the kernel signature are the harness's: a
// right CRC is written again for each candidate, the signature is never a
// change.
//
// The finding's changes that lie in the code of methods are tried alone
// first: when they give the fault, it needs no other change and is the
// bytecode's (with -q that answer is all, without reduction); else every
// reduction keeps some change outside the code, and the fault is a record
// fault.
//
// Prints the seed, each remaining change with the region of the file it
// hits, and "class: bytecode" when every one lies in the code of methods,
// else "class: record"; writes the reduced input as FINDING.reduced.
// Exit 0 when reduced, 3 when FINDING gives no fault, 2 on bad usage.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/vm/fuzz/application_file_crc.h"
#include "tests/vm/fuzz/byte_edits.h"
#include "tests/vm/fuzz/delta_debugging.h"
#include "tools/imagelink/application_builder.h"
#include "tools/imagelink/application_file_layout.h"
#include "tools/imagelink/asm_writer.h"

namespace fs = std::filesystem;
using namespace tarvelo;
using fuzz::ByteEdit;

namespace {

std::vector<std::uint8_t> read_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string read_text(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_bytes(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string shell_quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What identifies a fault in a sanitizer's or libFuzzer's report: the
// summary without addresses, the harness's own complaint, and the first
// frame of the firmware (not of the C library or the sanitizers).
std::string fault_of(const std::string& report) {
    static const std::regex address("0x[0-9a-fA-F]+|\\+[0-9]+\\)|==[0-9]+==");
    static const std::regex runtime("in (abort|raise|gsignal|__|fuzzer::|std::__|pthread_kill|.*libc\\.so)");
    std::string summary, complaint, frame;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (summary.empty() && line.rfind("SUMMARY: ", 0) == 0) summary = std::regex_replace(line.substr(9), address, "");
        if (complaint.empty() && line.rfind("fuzz_install_application: ", 0) == 0)
            complaint = std::regex_replace(line, std::regex("[0-9]+"), "N");
        if (frame.empty() && line.rfind("    #", 0) == 0 && line.find(" in ") != std::string::npos &&
            !std::regex_search(line, runtime))
            frame = std::regex_replace(line.substr(line.find(" in ") + 4), address, "");
    }
    if (summary.empty() && complaint.empty()) return "";
    return summary + " | " + complaint + " | " + frame;
}

class Runner {
public:
    Runner(std::string program, int timeout, fs::path dir) : program_(std::move(program)), timeout_(timeout), dir_(std::move(dir)) {}

    // Runs the files in one process: the index of the first that faults
    // and its fault, or -1.
    int first_fault(const std::vector<fs::path>& files, std::string* fault) {
        const fs::path report = dir_ / "report.txt";
        std::string command = "timeout -k 5 " + std::to_string(30 + timeout_ * static_cast<int>(files.size())) + " " +
                              shell_quoted(program_) + " -runs=1 -timeout=" + std::to_string(timeout_);
        for (const fs::path& f : files) command += " " + shell_quoted(f.string());
        command += " >/dev/null 2>" + shell_quoted(report.string());
        ++processes_;
        const int status = std::system(command.c_str());
        const std::string text = read_text(report);
        // libFuzzer names each file before running it and reports it done.
        int running = -1;
        std::istringstream in(text);
        std::size_t done = 0;
        for (std::string line; std::getline(in, line);) {
            for (std::size_t i = 0; i < files.size(); ++i)
                if (line == "Running: " + files[i].string()) running = static_cast<int>(i);
            if (line.rfind("Executed ", 0) == 0) ++done;
        }
        const std::string f = fault_of(text);
        if (done == files.size() && f.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) return -1;
        if (running < 0) running = 0;
        *fault = f.empty() ? "exit status " + std::to_string(status) : f;
        return running;
    }

    std::size_t processes() const { return processes_; }

private:
    std::string program_;
    int timeout_;
    fs::path dir_;
    std::size_t processes_ = 0;
};

struct Seed {
    fs::path path;
    std::vector<std::uint8_t> bytes;
    std::vector<ByteEdit> edits;
};

int usage() {
    std::fprintf(stderr, "usage: fuzz_reduce_finding [-t SECONDS] [-q] RUNNER SEED_DIR FINDING\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int timeout = 10;
    bool quick = false;
    int a = 1;
    for (;;) {
        if (a + 1 < argc && std::string(argv[a]) == "-t") {
            timeout = std::atoi(argv[a + 1]);
            a += 2;
        } else if (a < argc && std::string(argv[a]) == "-q") {
            quick = true;
            ++a;
        } else {
            break;
        }
    }
    if (argc - a != 3 || timeout <= 0) return usage();
    const std::string runner_program = argv[a];
    const fs::path seed_dir = argv[a + 1], finding_path = argv[a + 2];
    const std::vector<std::uint8_t> finding = read_bytes(finding_path);

    // The seed: the one of fewest changes.
    Seed seed;
    bool have_seed = false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(seed_dir, ec)) {
        if (entry.path().extension() != ".tvf" || !fs::exists(entry.path().string() + ".map")) continue;
        Seed s{entry.path(), read_bytes(entry.path()), {}};
        s.edits = fuzz::edits_between(s.bytes, finding);
        if (!have_seed || s.edits.size() < seed.edits.size()) seed = std::move(s);
        have_seed = true;
    }
    if (!have_seed) {
        std::fprintf(stderr, "%s: no seed with its map (*.tvf and *.tvf.map)\n", seed_dir.c_str());
        return 2;
    }
    imagelink::LinkedImage map;
    std::string why;
    if (!imagelink::read_map(read_text(seed.path.string() + ".map"), map, &why)) {
        std::fprintf(stderr, "%s.map: %s\n", seed.path.c_str(), why.c_str());
        return 2;
    }

    // The harness writes the signature; a right CRC is written again for
    // every candidate, so neither counts as a change (a wrong one does).
    const bool rewrite_crc = fuzz::crc_is_right(finding.data(), finding.size());
    std::vector<ByteEdit> edits;
    for (const ByteEdit& e : seed.edits) {
        const bool in_place = e.op == ByteEdit::Op::Replace;
        if (in_place && e.at >= imagelink::app_file::kSignatureAt && e.at < imagelink::app_file::kHeaderSize) continue;
        if (in_place && rewrite_crc && e.at >= imagelink::app_file::kCrcAt && e.at < imagelink::app_file::kCrcAt + 4) continue;
        edits.push_back(e);
    }
    auto input_of = [&](const fuzz::Changes& chosen) {
        std::vector<std::uint8_t> bytes = fuzz::apply_edits(seed.bytes, edits, chosen);
        if (rewrite_crc) fuzz::write_crc(bytes.data(), bytes.size());
        return bytes;
    };

    const fs::path work = fs::temp_directory_path() / ("fuzz_reduce_" + std::to_string(::getpid()));
    fs::create_directories(work);
    Runner runner(runner_program, timeout, work);
    std::string fault;
    if (runner.first_fault({finding_path}, &fault) < 0) {
        std::printf("no fault\n");
        fs::remove_all(work);
        return 3;
    }
    std::printf("fault: %s\nseed: %s (%zu changes)\n", fault.c_str(), seed.path.filename().c_str(), edits.size());

    auto batch = [&](const std::vector<fuzz::Changes>& candidates) -> int {
        std::vector<fs::path> files;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            files.push_back(work / ("candidate-" + std::to_string(i)));
            write_bytes(files.back(), input_of(candidates[i]));
        }
        std::size_t from = 0;
        while (from < files.size()) {
            const std::vector<fs::path> rest(files.begin() + static_cast<std::ptrdiff_t>(from), files.end());
            std::string got;
            const int k = runner.first_fault(rest, &got);
            if (k < 0) return -1;
            const std::size_t at = from + static_cast<std::size_t>(k);
            // After other inputs in the same life, a fault may be theirs:
            // it counts when the candidate gives it alone.
            if (got == fault && (k == 0 || (runner.first_fault({files[at]}, &got) == 0 && got == fault)))
                return static_cast<int>(at);
            from = at + 1;
        }
        return -1;
    };

    const std::vector<imagelink::FileRegion> layout = imagelink::application_file_layout(seed.bytes, map);
    auto in_code = [&](const ByteEdit& e) {
        return imagelink::region_at(layout, e.at).kind == imagelink::FileRegion::Kind::MethodCode;
    };
    fuzz::Changes code;
    for (std::size_t i = 0; i < edits.size(); ++i)
        if (in_code(edits[i])) code.push_back(i);

    fuzz::Changes reduced;
    std::string seed_fault;
    if (runner.first_fault({[&] {
                               const fs::path p = work / "seed";
                               write_bytes(p, input_of({}));
                               return p;
                           }()},
                           &seed_fault) == 0 &&
        seed_fault == fault) {
        std::printf("the seed itself gives the fault\n");
    } else if (!code.empty() && (code.size() == edits.size() || batch({code}) == 0)) {
        // The changes of code alone give the fault: reduced among them.
        std::printf("the %zu change(s) of method code alone give the fault\n", code.size());
        if (quick) {
            std::printf("class: bytecode\n");
            fs::remove_all(work);
            return 0;
        }
        std::size_t tests = 0;
        const fuzz::Changes kept = fuzz::minimal_failing_changes(
            code.size(), [&](const std::vector<fuzz::Changes>& candidates) {
                std::vector<fuzz::Changes> of_code;
                for (const fuzz::Changes& c : candidates) {
                    of_code.emplace_back();
                    for (std::size_t i : c) of_code.back().push_back(code[i]);
                }
                return batch(of_code);
            },
            &tests);
        for (std::size_t i : kept) reduced.push_back(code[i]);
        std::printf("reduced to %zu change(s) in %zu candidates, %zu processes\n", reduced.size(), tests, runner.processes());
    } else {
        std::size_t tests = 0;
        reduced = fuzz::minimal_failing_changes(edits.size(), batch, &tests);
        std::printf("reduced to %zu change(s) in %zu candidates, %zu processes\n", reduced.size(), tests, runner.processes());
    }
    write_bytes(finding_path.string() + ".reduced", input_of(reduced));

    bool code_only = !reduced.empty();
    for (std::size_t i : reduced) {
        const ByteEdit& e = edits[i];
        const imagelink::FileRegion r = imagelink::region_at(layout, e.at);
        if (r.kind != imagelink::FileRegion::Kind::MethodCode) code_only = false;
        char what[64];
        if (e.op == ByteEdit::Op::Replace)
            std::snprintf(what, sizeof what, "0x%02x -> 0x%02x", seed.bytes[e.at], e.value);
        else if (e.op == ByteEdit::Op::Delete)
            std::snprintf(what, sizeof what, "0x%02x deleted", seed.bytes[e.at]);
        else
            std::snprintf(what, sizeof what, "0x%02x inserted", e.value);
        std::printf("  at 0x%04x: %-16s %s: %s (+0x%x)\n", e.at, what, imagelink::to_string(r.kind), r.name.c_str(),
                    e.at - r.begin);
    }
    std::printf("class: %s\n", code_only ? "bytecode" : "record");
    fs::remove_all(work);
    return 0;
}
