// A Java byte array as natives see it, for tests: the elements, with the
// array's length in the word before them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tarvelo::test {

class JavaBytes {
public:
    explicit JavaBytes(std::size_t length, std::int8_t fill = 0)
        : words_(1 + (length + 3) / 4 + 1, 0), length_(length) {
        words_[0] = static_cast<std::int32_t>(length);
        std::memset(elements(), fill, length);
    }
    explicit JavaBytes(const std::string& bytes) : JavaBytes(bytes.size()) {
        std::memcpy(elements(), bytes.data(), bytes.size());
    }

    std::int8_t* elements() { return reinterpret_cast<std::int8_t*>(words_.data() + 1); }
    std::int32_t length() const { return static_cast<std::int32_t>(length_); }
    std::string bytes() { return std::string(reinterpret_cast<const char*>(elements()), length_); }

private:
    std::vector<std::int32_t> words_;
    std::size_t length_;
};

}  // namespace tarvelo::test
