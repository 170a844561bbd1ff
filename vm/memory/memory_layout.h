// Where the memory system's regions lie and which image items it reads:
// filled from the link-time symbols when the virtual machine is created
// (`memoryLayoutFromLinkSymbols`), or by hand for synthetic heaps in tests.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct MemoryLayout {
    // Main heap region and the size it starts with (and trims back to).
    word_t heapStart;
    word_t heapEnd;
    std::uint32_t heapInitialSize;
    // Immortal heap region.
    word_t immortalsStart;
    word_t immortalsEnd;
    // OutOfMemoryError frame record.
    word_t oomeFramesStart;
    word_t oomeFramesEnd;
    // Kernel reference statics (collector roots).
    word_t staticsRefStart;
    word_t staticsRefEnd;
    // Kernel types: base of the type offsets and the bounds of the headers.
    word_t typesBase;
    word_t concreteTypesEnd;
    word_t typesEnd;
    // Image objects never move nor die: [imageStart, imageEnd).
    word_t imageStart;
    word_t imageEnd;
    // Types the memory system names (0 when the image lacks one).
    word_t classType;
    word_t stringType;
    word_t weakReferenceType;
    word_t softReferenceType;
    word_t proxyType;
    word_t autoCloseWeakRefType;
    // The image's pre-built OutOfMemoryError.
    word_t outOfMemoryError;
    // Soft references are kept this many ms per free kilobyte.
    std::uint32_t softRefMsPerFreeKb;
};

// The layout in force (set by `HeapSet` construction). Read inline: every
// type lookup of an object reads its types base.
namespace detail {
extern MemoryLayout gMemoryLayout;
}
inline const MemoryLayout& memoryLayout() { return detail::gMemoryLayout; }
void setMemoryLayout(const MemoryLayout& layout);

// The layout of the linked image and of the regions the link reserves.
MemoryLayout memoryLayoutFromLinkSymbols();

}  // namespace tarvelo
