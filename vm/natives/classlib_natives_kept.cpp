// The class library's natives, kept in every firmware: an image may refer to
// natives weakly, which would not bring them into a link, so this table,
// linked as an object into every firmware executable, names them all. Their
// Java signatures differ, so they are named here only by address.
extern "C" {
#define TARVELO_CLASSLIB_NATIVE(symbol) void symbol();
#include "vm/natives/classlib_natives.def"
#undef TARVELO_CLASSLIB_NATIVE
}

namespace {

using AnyNative = void();
__attribute__((used)) AnyNative* const classlib_natives[] = {
#define TARVELO_CLASSLIB_NATIVE(symbol) symbol,
#include "vm/natives/classlib_natives.def"
#undef TARVELO_CLASSLIB_NATIVE
};

}  // namespace
