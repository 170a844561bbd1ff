// What each byte of an application file is: a header field, a section
// entry, an item of the content (a type header, a method record or its
// code, a string, an immutable, a table...) or a relocation record. Built
// from the container's constants and the map the linker wrote with the
// file, so that tools that explain a changed byte (the install fuzzers'
// classification of their findings) read the file as the linker wrote it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagelink/linked_image.h"

namespace tarvelo::imagelink {

struct FileRegion {
    enum class Kind : std::uint8_t {
        Header,          // a header field (its name)
        SectionEntry,    // a word of a section entry
        Content,         // an item of the content other than a method's code
        MethodCode,      // the code of a method (its instructions and their operands)
        Relocations,     // a relocation record
        Outside,         // bytes no section, header or relocation record claims
    };
    Kind kind = Kind::Outside;
    std::uint32_t begin = 0;  // file offsets: [begin, end)
    std::uint32_t end = 0;
    std::string name;         // "content size", "method app.A.run()V", "relocation record 3"...
};

const char* to_string(FileRegion::Kind kind);

// The regions of `file`, whose linker map is `map` (read_map), in file
// order and without overlaps. The file must be the one the map was written
// for: the regions follow its header, section entries and relocation
// records, bounded by its size.
std::vector<FileRegion> application_file_layout(const std::vector<std::uint8_t>& file, const LinkedImage& map);

// The region holding file offset `at` (Outside past the file's end).
FileRegion region_at(const std::vector<FileRegion>& layout, std::uint32_t at);

}  // namespace tarvelo::imagelink
