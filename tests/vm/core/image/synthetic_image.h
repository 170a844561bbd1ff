// Image records built by hand in static memory (below 4 GiB, as the image
// is on the device), in the formats of vm/core/image: type headers with
// their hierarchy, interface and super-interface tables, package,
// class-name and resource records, names, immutables. Each image has its own
// arena; a feature image's type headers are objects of the kernel image's
// java.lang.Class and are owned by the feature's record.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "platform/address.h"
#include "vm/core/image/image_directory.h"
#include "vm/memory/feature_record.h"

namespace tarvelo::test {

class SyntheticImage {
  public:
    static constexpr int kArenas = 4;

    // A kernel image in arena `arena`: java.lang.Object and java.lang.Class
    // are its first two type headers.
    explicit SyntheticImage(int arena);
    // A feature image in arena `arena` whose type headers are owned by
    // `ownerRecord` and are objects of `kernel`'s java.lang.Class.
    SyntheticImage(int arena, const SyntheticImage& kernel, word_t ownerRecord);

    // --- Names and records -------------------------------------------------
    word_t name(std::string_view text);
    word_t package(std::string_view name, word_t parent = 0);
    // A class-name record (its type word may be set later).
    word_t classRecord(std::string_view name, word_t package, word_t type = 0);
    word_t arrayRecord(std::uint32_t dimensions, word_t elementRecord, word_t type = 0);
    // The primitive-code record of a code (4 to 11).
    word_t primitiveRecord(std::uint32_t code) const;
    void setRecordType(word_t record, word_t type);
    word_t resource(std::string_view name, word_t package, std::string_view data, word_t owner = 0);

    // --- Type headers --------------------------------------------------------
    // A class in the instantiable region with the given ancestors (Object
    // first; its depth is their number).
    word_t classType(word_t record, std::uint8_t flags, std::initializer_list<word_t> ancestors,
                     std::uint16_t size = 8, std::uint16_t refBytes = 0, word_t interfaceTable = 0);
    word_t arrayType(word_t record, word_t element, std::uint8_t flags = 0x01);
    word_t abstractClass(word_t record, std::uint8_t flags, std::initializer_list<word_t> ancestors,
                         word_t interfaceTable = 0);
    word_t interfaceType(word_t record, std::uint16_t id, std::initializer_list<word_t> supers,
                         std::uint8_t flags = 0x06);
    // An interface table over (id, interface) pairs: each interface gets an
    // interface method table naming it.
    word_t interfaceTable(std::initializer_list<std::pair<std::uint16_t, word_t>> entries);
    // Words in the dispatch area (for hand-made tables).
    word_t words(std::initializer_list<word_t> values);

    // Raw access for malformed variants.
    static void poke(word_t address, std::uint32_t value);
    static void pokeByte(word_t address, std::uint8_t value);

    // The kernel image's packages java and java.lang.
    word_t javaPackage() const { return java_; }
    word_t langPackage() const { return lang_; }
    word_t object() const { return object_; }
    word_t klass() const { return klass_; }
    // Immutables: a block with one object.
    word_t immutable() const { return immutable_; }

    ImageTables tables() const;
    // The kernel image over this image's tables with small statics areas.
    KernelImage kernelImage() const;

  private:
    word_t take(std::uint32_t& cursor, std::uint32_t limit, std::uint32_t bytes, std::uint32_t align);
    word_t typeHeaderWord() const;
    void writeCommon(word_t t, word_t record, std::uint8_t flags, std::uint8_t depth);

    word_t base_;
    word_t ownerWord_ = 0;
    word_t kernelClass_ = 0;
    word_t kernelBase_ = 0;
    std::uint32_t concrete_ = 0, abstract_ = 0, dispatch_ = 0, packages_ = 0, classNames_ = 0,
                  resources_ = 0, names_ = 0;
    word_t java_ = 0, lang_ = 0, object_ = 0, klass_ = 0, immutable_ = 0;
};

// An installed application's records around a feature image: its
// `FeatureRecord`, descriptor and runtime state.
struct SyntheticFeatureRecord {
    std::uint32_t record[17];
    std::uint32_t descriptor[17];
    FeatureRuntimeState state;

    word_t address() const { return to_word(record); }
    void describe(const SyntheticImage& image);
};

// The memory environment as the image directory sees it: the installed
// feature slots and the current thread's feature.
struct DirectoryEnvironment {
    static void install();
    static void reset();
    static word_t installed[4];
    static word_t current;
};

// Small statics areas of the synthetic kernel image.
extern std::uint8_t gStaticsBytes[5][64];

}  // namespace tarvelo::test
