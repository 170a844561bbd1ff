// The few native-interface calls the security natives make, recorded for
// the tests (sni_stand_in.cpp), and the application clock they read. I/O
// exceptions are recorded with the others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::test {

struct RaisedException {
    std::int32_t code;
    std::string message;
};

struct SniRecord {
    std::vector<RaisedException> raised;
    std::vector<std::pair<void*, void*>> registered;  // resource, close function
    std::int32_t register_result = 0;
    std::int64_t application_time_ms = 0;
};

SniRecord& sni();
void reset_sni();

}  // namespace tarvelo::test
