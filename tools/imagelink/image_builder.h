// Lays the image out, region by region, and writes its bytes: type headers
// and dispatch tables, the file header, the class-initialiser table, the
// name records, the methods, the kernel tables, the shared char array and
// interned strings, the system properties, the immutables, the resources
// and the feature descriptor; and plans the RAM areas (statics, heaps).
#pragma once

#include "tools/imagelink/link_context.h"
#include "tools/imagelink/linked_image.h"

namespace tarvelo::imagelink {

// Strings the virtual machine reaches by symbol.
struct VmString {
    const char* symbol;
    const char16_t* text;
};
inline constexpr VmString kVmStrings[] = {
    {"_java_main_thread_name", u"main"},
    {"_java_stream_closed_exception_message", u"Stream closed"},
    {"_java_sni_non_immortal_exception_message", u"Non immortal object passed to native method"},
    {"_java_sni_native_resource_owner", u"KERNEL"},
};

LinkedImage build_image(LinkContext& ctx);

}  // namespace tarvelo::imagelink
