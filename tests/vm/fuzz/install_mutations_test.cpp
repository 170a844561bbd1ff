// The install fuzzers' exercise over fixed inputs, in the normal tests:
// each application file named on the command line, every truncation of
// it and a few hundred of the fuzzers' mutations of it (CRC written
// again), each installed, named and unlinked in the records mode. An
// input that crashes, or leaves its storage allocated, fails the test
// (the harness aborts). Deterministic: mutation i of a file always uses
// seed i.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed);

namespace {
std::minstd_rand gBytes;
}

// libFuzzer's own mutation of bytes, which the custom mutator calls for
// its changes of any byte: here a few bytes set, flipped or cut.
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize) {
    if (size == 0) return 0;
    switch (gBytes() % 3) {
        case 0: data[gBytes() % size] = static_cast<std::uint8_t>(gBytes()); return size;
        case 1: data[gBytes() % size] ^= static_cast<std::uint8_t>(1u << (gBytes() % 8)); return size;
        default: {
            const std::size_t n = size - gBytes() % std::min<std::size_t>(size, 16);
            return n <= maxSize ? n : maxSize;
        }
    }
}

int main(int argc, char** argv) {
    constexpr unsigned kMutations = 300;
    // The kernel prints why the loader refused each file: thousands of lines.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 2;
    LLVMFuzzerInitialize(&argc, &argv);
    std::size_t inputs = 0;
    for (int a = 1; a < argc; ++a) {
        std::ifstream in(argv[a], std::ios::binary);
        const std::vector<std::uint8_t> seed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (seed.empty()) {
            std::fprintf(stderr, "%s: no application file\n", argv[a]);
            return 2;
        }
        for (std::size_t n = 0; n <= seed.size(); ++n, ++inputs) LLVMFuzzerTestOneInput(seed.data(), n);
        std::vector<std::uint8_t> file(seed.size() + 256);
        for (unsigned i = 0; i < kMutations; ++i, ++inputs) {
            std::copy(seed.begin(), seed.end(), file.begin());
            gBytes.seed(i + 1);
            const std::size_t n = LLVMFuzzerCustomMutator(file.data(), seed.size(), file.size(), i);
            LLVMFuzzerTestOneInput(file.data(), n);
        }
    }
    std::fprintf(stderr, "%zu inputs installed or refused, none crashed\n", inputs);
    // The virtual machine's task still waits for the next input.
    std::_Exit(0);
}
