// The run mode's hang budget, over fixed inputs: an application whose
// thread loops for ever is killed within its own input's budget and kept
// out of the corpus (the harness answers -1), and the inputs after it run
// as if it had never been. Without the budget the first input never ends.
//
//   vm_run_mode_hangs_test LOOPING.tvf ORDINARY.tvf
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// The custom mutator's bytes, unused here.
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t*, std::size_t size, std::size_t) { return size; }

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LOOPING.tvf ORDINARY.tvf\n", argv[0]);
        return 2;
    }
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 2;
    setenv("TARVELO_FUZZ_HANG_MS", "10000", 1);
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::uint8_t> files[2];
    for (int i = 0; i < 2; ++i) {
        std::ifstream in(argv[1 + i], std::ios::binary);
        files[i].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (files[i].empty()) {
            std::fprintf(stderr, "%s: no application file\n", argv[1 + i]);
            return 2;
        }
    }
    const struct {
        int file;
        int expected;
    } inputs[] = {{0, -1}, {1, 0}, {0, -1}, {1, 0}, {1, 0}};
    int failures = 0;
    for (const auto& input : inputs) {
        const int got = LLVMFuzzerTestOneInput(files[input.file].data(), files[input.file].size());
        std::fprintf(stderr, "%s: %d (expected %d)\n", argv[1 + input.file], got, input.expected);
        if (got != input.expected) ++failures;
    }
    std::fprintf(stderr, failures == 0 ? "every input ended within its budget\n" : "%d input(s) wrong\n", failures);
    // The virtual machine's task still waits for the next input.
    std::_Exit(failures == 0 ? 0 : 1);
}
