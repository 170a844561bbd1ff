#include "tools/imagelink/package_table.h"

namespace tarvelo::imagelink {

int PackageTable::package_of(const std::vector<std::string>& parts, std::size_t count) {
    int parent = -1;
    for (std::size_t i = 0; i < count; ++i) {
        auto key = std::make_pair(parent, parts[i]);
        auto it = index_.find(key);
        if (it != index_.end()) { parent = it->second; continue; }
        packages_.push_back({parts[i], parent, 0});
        const int idx = static_cast<int>(packages_.size()) - 1;
        index_[key] = idx;
        parent = idx;
    }
    return parent;
}

std::vector<std::string> PackageTable::split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find(sep, start);
        parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return parts;
}

}  // namespace tarvelo::imagelink
