// The image directory: the virtual-machine component that checks and resets
// the statics RAM, answers class, resource and immutable lookups over the
// kernel image and the installed applications, and tells whether an
// address is a valid type header. Lookups never throw: a name that is not
// found, not visible or not well formed gives 0 and the calling native
// decides.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/image/image_tables.h"
#include "vm/core/image/statics_areas.h"
#include "vm/model/vm_component.h"
#include "vm/model/class_name_resolver.h"

namespace tarvelo {

// Accompanies every class or resource lookup.
struct LookupContext {
    // 1 when the searching application may see kernel resources not at
    // all and kernel types only when exported (flag 0x40).
    word_t restricted;
    // The installed application (its `FeatureRecord`) whose tables are
    // searched first; 0 for a kernel context.
    word_t feature;
};

// What the directory knows of the kernel image.
struct KernelImage {
    ImageTables tables;
    word_t objectType;  // java.lang.Object
    word_t classType;   // java.lang.Class: the type of every type header
    StaticsAreas statics;

    // The linked image's (only a firmware linked with an image uses this).
    static KernelImage fromLinkSymbols();
};

struct FeatureImageDirectory : VMComponent {
    KernelImage kernel;
    ClassNameResolver resolver;  // over the kernel's records

    // The component over the linked image, published as the one directory.
    static FeatureImageDirectory* create();
    // Component operations: the statics RAM check (error -19) and the
    // name searcher; the statics reset.
    static bool initializeComponent(VMComponent* self);
    static void startComponent(VMComponent* self);

    void setUp(const KernelImage& image);
    // false when a statics area fails the RAM check.
    bool initialize();
    bool checkStaticsRam() const { return kernel.statics.ramCheck(); }
    void resetStatics() const { kernel.statics.reset(); }

    // 1 and the type header in *type when found and visible; 0 when not
    // found, not visible or malformed; -1 when the name has more segments
    // than `slotCount` (the scratch slots for the name searcher).
    int findClassByName(const LookupContext& context, const char* first, const char* end,
                        char separator, word_t* slots, int slotCount, word_t* type) const;
    // The resource record of `name` (without the leading '/'), or 0.
    // `searchKernel` asks for the kernel's resources too when the context
    // names an application.
    word_t findResource(const LookupContext& context, const char* name, std::uint32_t length,
                        word_t* slots, int slotCount, bool searchKernel) const;

    // 1 when `address` is a valid type header of the kernel or of an
    // installed application; `instantiable` refuses abstract classes and
    // interfaces, `wholeHierarchy` also tests the ancestors of a class and
    // the element chain of an array.
    int isValidTypeReference(word_t address, bool instantiable, bool wholeHierarchy) const;

    // Immutable blocks: the kernel's, plus the current thread's
    // application's when it runs for one.
    int getImmutableBlockCount() const;
    word_t getImmutableKeys(int block) const;
    word_t getImmutableValues(int block) const;
    int isImmutable(word_t address) const;
    int isInStaticsArea(word_t address) const { return kernel.statics.inRef(address) ? 1 : 0; }

  private:
    bool validIn(const ImageTables& tables, word_t address, bool instantiable,
                 bool wholeHierarchy) const;
    bool headerIsClassObject(word_t address) const;
    bool elementChainValid(word_t arrayType) const;
    bool hierarchyValid(const ImageTables& tables, word_t classType) const;
    bool kernelTypeVisible(const LookupContext& context, word_t type) const;
};

// The one image directory (null before the virtual machine creates it).
FeatureImageDirectory* image_directory();
void set_image_directory(FeatureImageDirectory* directory);

}  // namespace tarvelo
