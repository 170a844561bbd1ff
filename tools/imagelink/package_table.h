// The package records of an image or an application: one per package
// name under its parent, in order of first use.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvelo::imagelink {

class PackageTable {
public:
    struct Package {
        std::string name;
        int parent = -1;           // -1: top level
        std::uint32_t offset = 0;  // of its record, once written
    };

    // The package of the first `count` parts of a name (-1 for none),
    // created with its parents as needed.
    int package_of(const std::vector<std::string>& parts, std::size_t count);

    std::vector<Package>& packages() { return packages_; }

    static std::vector<std::string> split(const std::string& s, char sep);

private:
    std::vector<Package> packages_;
    std::map<std::pair<int, std::string>, int> index_;
};

}  // namespace tarvelo::imagelink
