// The loaders against damaged files in the CI builds (the fuzz targets run
// the same exercise for millions of inputs by hand): every truncation and a
// few thousand mutations of each seed file of the fuzz corpus are refused
// or loaded, read, drawn and closed without a read or write outside their
// buffers (the sanitizer build checks) and leave the image heap as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/graphics/loader_exercise.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> seeds(const char* loader) {
    std::vector<Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(FUZZ_CORPUS) + "/" + loader)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

TEST(DamagedFiles, LoadersRefuseOrLoadWithoutLeaking) {
    SPictavoGraphicsContext display{};
    ASSERT_EQ(test::port().start(&display), 0);
    struct Corpus {
        const char* name;
        test::Loader loader;
    };
    const Corpus corpora[] = {{"raw", test::Loader::kRaw},
                              {"bmp", test::Loader::kBmp},
                              {"png", test::Loader::kPng},
                              {"font", test::Loader::kFont}};
    std::uint32_t state = 27;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    for (const Corpus& c : corpora) {
        const std::vector<Bytes> files = seeds(c.name);
        ASSERT_FALSE(files.empty()) << c.name;
        for (const Bytes& file : files) {
            for (std::size_t n = 1; n <= file.size(); ++n)
                ASSERT_TRUE(test::exercise_loader(c.loader, file.data(), n, 64)) << c.name << " cut to " << n;
            for (int round = 0; round < 1500; ++round) {
                Bytes damaged = file;
                // One to four bytes replaced: by a bit flipped, 0, 0xFF or
                // anything.
                for (std::uint32_t k = 0, changes = 1 + next() % 4; k < changes; ++k) {
                    std::uint8_t& b = damaged[next() % damaged.size()];
                    switch (next() % 4) {
                        case 0: b = static_cast<std::uint8_t>(b ^ (1u << (next() % 8))); break;
                        case 1: b = 0; break;
                        case 2: b = 0xFF; break;
                        default: b = static_cast<std::uint8_t>(next()); break;
                    }
                }
                ASSERT_TRUE(test::exercise_loader(c.loader, damaged.data(), damaged.size(), 64))
                    << c.name << " round " << round;
            }
        }
    }
}

}  // namespace
}  // namespace tarvelo::graphics
