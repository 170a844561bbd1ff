#include "vm/core/image/image_directory.h"

#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/support_allocator.h"

namespace tarvelo {

namespace {

FeatureImageDirectory* the_directory = nullptr;

word_t recordType(word_t classNameRecord) {
    return image::read_u32(to_ptr<const void>(classNameRecord + image::kClassNameTypeOffset));
}

word_t resourceOwner(word_t resourceRecord) {
    return image::read_u32(to_ptr<const void>(resourceRecord + image::kResourceOwnerOffset));
}

ClassNameResolver resolverOver(const ImageTables& t) {
    ClassNameResolver r{};
    r.init(t.classNamesStart, t.classNamesEnd, t.resourcesStart, t.resourcesEnd);
    return r;
}

word_t currentFeature() { return memoryEnvironment().currentOwnerFeature(); }

}  // namespace

FeatureImageDirectory* image_directory() { return the_directory; }
void set_image_directory(FeatureImageDirectory* directory) { the_directory = directory; }

FeatureImageDirectory* FeatureImageDirectory::create() {
    auto* d = support_new<FeatureImageDirectory>();
    d->classId = kFeatureImageDirectory;
    d->setUp(KernelImage::fromLinkSymbols());
    set_image_directory(d);
    return d;
}

void FeatureImageDirectory::setUp(const KernelImage& image) {
    kernel = image;
    resolver = ClassNameResolver{};
}

bool FeatureImageDirectory::initialize() {
    if (!checkStaticsRam()) return false;
    resolver = resolverOver(kernel.tables);
    return true;
}

bool FeatureImageDirectory::initializeComponent(VMComponent* self) {
    if (static_cast<FeatureImageDirectory*>(self)->initialize()) return true;
    if (Ostrevan* vm = ostrevan()) vm->setError(kVMErrorStaticsMemoryTest);
    return false;
}

void FeatureImageDirectory::startComponent(VMComponent* self) {
    static_cast<FeatureImageDirectory*>(self)->resetStatics();
}

bool FeatureImageDirectory::kernelTypeVisible(const LookupContext& context, word_t type) const {
    if (context.restricted == 0) return true;
    // Kernel code sees every kernel type; an application in a restricted
    // context only the exported ones.
    if (context.feature == 0 && currentFeature() == 0) return true;
    return (image::type_flags(to_ptr<const void>(type)) & image::kTypeExported) != 0;
}

int FeatureImageDirectory::findClassByName(const LookupContext& context, const char* first,
                                           const char* end, char separator, word_t* slots,
                                           int slotCount, word_t* type) const {
    *type = 0;
    word_t record = 0;
    if (context.feature != 0) {
        ClassNameResolver own = resolverOver(ImageTables::ofFeature(context.feature));
        int r = own.resolveDescriptor(first, end, separator, slots, slotCount, &record);
        if (r < 0) return r;
        if (r == 1) {
            // The application's own name hides a kernel type of that name,
            // also when its record has no type word (found only when it has
            // one). A primitive record's type word is its code, not a header.
            word_t t = recordType(record);
            if (t == 0 || !isValidTypeReference(t, false, false)) return 0;
            *type = t;
            return 1;
        }
    }
    int r = resolver.resolveDescriptor(first, end, separator, slots, slotCount, &record);
    if (r != 1) return r;
    word_t t = recordType(record);
    if (t == 0 || !isValidTypeReference(t, false, false)) return 0;
    if (!kernelTypeVisible(context, t)) return 0;
    *type = t;
    return 1;
}

word_t FeatureImageDirectory::findResource(const LookupContext& context, const char* name,
                                           std::uint32_t length, word_t* slots, int slotCount,
                                           bool searchKernel) const {
    if (context.feature != 0) {
        ClassNameResolver own = resolverOver(ImageTables::ofFeature(context.feature));
        if (word_t record = own.findByPath(name, length, slots, slotCount)) return record;
        if (!searchKernel) return 0;
    }
    word_t record = resolver.findByPath(name, length, slots, slotCount);
    if (record == 0) return 0;
    word_t owner = resourceOwner(record);
    word_t running = currentFeature();
    if (running == 0) return owner == 0 ? record : 0;
    if (owner == running) return record;
    return owner == 0 && context.restricted == 0 ? record : 0;
}

int FeatureImageDirectory::getImmutableBlockCount() const { return currentFeature() != 0 ? 2 : 1; }

word_t FeatureImageDirectory::getImmutableKeys(int block) const {
    if (block == 0) return kernel.tables.immutableKeys;
    word_t feature = currentFeature();
    return block == 1 && feature != 0 ? ImageTables::ofFeature(feature).immutableKeys : 0;
}

word_t FeatureImageDirectory::getImmutableValues(int block) const {
    if (block == 0) return kernel.tables.immutableValues;
    word_t feature = currentFeature();
    return block == 1 && feature != 0 ? ImageTables::ofFeature(feature).immutableValues : 0;
}

int FeatureImageDirectory::isImmutable(word_t address) const {
    if (kernel.tables.inImmutables(address)) return 1;
    const MemoryEnvironment& env = memoryEnvironment();
    for (int i = 0; i < kMaxDynamicFeatures; ++i) {
        word_t record = env.featureRecord(i);
        if (record != 0 && ImageTables::ofFeature(record).inImmutables(address)) return 1;
    }
    return 0;
}

}  // namespace tarvelo
