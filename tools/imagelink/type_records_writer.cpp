#include "tools/imagelink/type_records_writer.h"

#include <algorithm>
#include <functional>
#include <limits>

#include "tools/imagelink/link_error.h"
#include "tools/imagelink/shared_interface_layout.h"
#include "vm/model/type_record.h"

namespace tarvelo::imagelink {

TypeRecordsWriter::TypeRecordsWriter(LinkContext& ctx, ModuleOutput& out, const std::vector<Type*>& types,
                                     bool share_tables)
    : ctx_(ctx), out_(out), share_tables_(share_tables), types_(types), own_(types.begin(), types.end()) {
    for (Type* t : types_) {
        if (t->is_array()) arrays_.push_back(t);
        else if (t->is_class() && !t->is_abstract) classes_.push_back(t);
        else abstracts_.push_back(t);
    }
}

std::uint32_t TypeRecordsWriter::place() {
    out_.align(image::kRomAlignment);
    types_start_ = out_.pos();
    std::uint32_t off = types_start_;
    for (Type* t : classes_) { t->offset = off; off += image::kClassSlotSize; }
    for (std::size_t i = 0; i < arrays_.size(); ++i) {
        arrays_[i]->offset = off;
        off += i + 1 == arrays_.size() ? image::kArrayTypeHeaderSize : image::kArrayTypeSlotSize;
    }
    for (Type* t : abstracts_) { t->offset = off; off += image::kAbstractHeaderSize; }
    return off;
}

void TypeRecordsWriter::write_common(Type* t) {
    if (out_.pos() != t->offset) fail(t->where, "internal: type header misplaced");
    out_.object_header(ctx_.class_type(), t->where);
    out_.name_record_word(t);
    out_.u8(t->flags);
}

void TypeRecordsWriter::write_type_headers() {
    for (Type* t : classes_) {
        write_common(t);
        out_.u8(static_cast<std::uint32_t>(t->depth));
        out_.u16(0);
        out_.ref([this, t] { return hierarchy_.at(t); });
        if (t->all_interfaces.empty()) out_.u32(0);
        else out_.ref([this, t] { return itables_.at(t); });
        out_.ref([this, t] { return vtables_.at(t); });
        out_.u16(t->instance_size);
        out_.u16(t->ref_bytes);
        if (Method* ctor = t->find_method("<init>", "()V")) out_.method_word(ctor, t->where);
        else out_.u32(0);
        out_.zeros(image::kClassSlotSize - image::kClassHeaderSize);
    }
    for (std::size_t i = 0; i < arrays_.size(); ++i) {
        Type* t = arrays_[i];
        write_common(t);
        out_.zeros(3);
        if (const std::uint32_t code = t->array_type.primitive_code()) out_.u32(code);
        else out_.type_word(t->element_type, t->where);
        if (i + 1 != arrays_.size()) out_.zeros(image::kArrayTypeSlotSize - image::kArrayTypeHeaderSize);
    }
    concrete_end_ = out_.pos();
    for (Type* t : abstracts_) {
        write_common(t);
        out_.u8(static_cast<std::uint32_t>(t->depth));
        if (t->is_interface()) {
            out_.u16(static_cast<std::uint32_t>(t->interface_id));
            if (t->all_interfaces.empty()) out_.u32(0);
            else out_.ref([this, t] { return supers_.at(t); });
            if (t->shared) out_.ref([this, t] { return shared_.at(t); });
            else out_.u32(0);
        } else {
            out_.u16(0);
            out_.ref([this, t] { return hierarchy_.at(t); });
            if (t->all_interfaces.empty()) out_.u32(0);
            else out_.ref([this, t] { return itables_.at(t); });
        }
    }
    types_end_ = out_.pos();
}

// Descriptors of the shared interfaces the module declares or its classes
// implement (an application copies a kernel's: only the kernel's exported
// items are reachable from it).
void TypeRecordsWriter::write_shared_descriptors() {
    std::set<const Type*> wanted;
    for (Type* t : types_) {
        if (t->is_interface() && t->shared) wanted.insert(t);
        if (t->is_class())
            for (Type* i : t->all_interfaces) if (i->shared) wanted.insert(i);
    }
    const SharedRecordSink sink{
        [this] { return out_.pos(); }, [this](std::uint32_t v) { out_.u8(v); }, [this](std::uint32_t v) { out_.u32(v); },
        [this](const JavaType& jt, const Method& m) {
            // A declared reference type is never 0: the proxy instruction
            // tells references from primitives by it.
            if (jt.is_ref()) out_.type_word(ctx_.type_for(jt, m.where), m.where);
            else out_.u32(0);
        },
        [this](const Type& i) {
            // A kernel interface's proxy class stays the kernel's own.
            const Type* proxy = ctx_.find_type(proxy_class_name(i.name));
            if (proxy && own_.count(proxy)) out_.type_word(proxy, i.where);
            else out_.u32(0);
        }};
    for (Type* t : ctx_.all_types())
        if (wanted.count(t)) shared_[t] = write_shared_records(*t, sink, shared_methods_);
}

// Hierarchy tables: a class's superclasses from the root down. Sharing, a
// class's table lies in the storage of a longer one that starts with it.
void TypeRecordsWriter::write_hierarchies() {
    std::vector<Type*> with_hierarchy;
    for (Type* t : types_) if (t->is_class()) with_hierarchy.push_back(t);
    if (share_tables_)
        std::stable_sort(with_hierarchy.begin(), with_hierarchy.end(), [](Type* a, Type* b) { return a->depth > b->depth; });
    std::map<std::vector<const Type*>, std::uint32_t> prefixes;
    for (Type* t : with_hierarchy) {
        std::vector<const Type*> chain;
        for (const Type* s = t->super; s; s = s->super) chain.insert(chain.begin(), s);
        auto it = prefixes.find(chain);
        if (it != prefixes.end()) { hierarchy_[t] = it->second; continue; }
        const std::uint32_t at = out_.pos();
        for (const Type* s : chain) out_.type_word(s, t->where);
        if (share_tables_)
            for (std::size_t n = 0; n <= chain.size(); ++n)
                prefixes.emplace(std::vector<const Type*>(chain.begin(), chain.begin() + static_cast<long>(n)), at);
        hierarchy_[t] = at;
    }
}

void TypeRecordsWriter::write_dispatch_tables() {
    out_.align(4);
    write_shared_descriptors();
    // Virtual method tables of the classes with instances.
    for (Type* t : classes_) {
        std::vector<const void*> key{"vtable"};
        for (Method* m : t->vtable) key.push_back(m);
        vtables_[t] = table(key, [&] {
            for (Method* m : t->vtable) out_.method_word(m, t->where);
        });
    }
    write_hierarchies();
    write_interface_tables();
    // Super-interface tables.
    for (Type* t : abstracts_) {
        if (!t->is_interface() || t->all_interfaces.empty()) continue;
        std::vector<const void*> key{"supers"};
        for (Type* s : t->all_interfaces) key.push_back(s);
        supers_[t] = table(key, [&] {
            out_.u32(static_cast<std::uint32_t>(t->all_interfaces.size()));
            for (Type* s : t->all_interfaces) out_.type_word(s, t->where);
        });
    }
}

// A class's interface method table for each of its interfaces (the
// interface, the offset of the shared method descriptors or 0, the
// methods, the descriptors), then its interface table: the lowest and
// highest interface id and a word per id between.
void TypeRecordsWriter::write_interface_tables() {
    for (Type* t : types_) {
        if (!t->is_class() || t->all_interfaces.empty()) continue;
        int lo = std::numeric_limits<int>::max(), hi = -1;
        for (Type* i : t->all_interfaces) { lo = std::min(lo, i->interface_id); hi = std::max(hi, i->interface_id); }
        std::vector<std::uint32_t> imts(static_cast<std::size_t>(hi - lo + 1), 0);
        for (Type* i : t->all_interfaces) {
            const std::vector<Method*> ms = interface_method_table(*t, *i);
            std::vector<const void*> key{"imt", i};
            for (Method* m : ms) key.push_back(m);
            imts[static_cast<std::size_t>(i->interface_id - lo)] = table(key, [&] {
                out_.type_word(i, t->where);
                out_.u32(i->shared ? 8 + 4 * static_cast<std::uint32_t>(ms.size()) : 0);
                for (Method* m : ms) {
                    if (m) out_.method_word(m, t->where);
                    else out_.u32(0);
                }
                if (i->shared)
                    for (Method* im : i->interface_methods) out_.ref([this, im] { return shared_methods_.at(im); });
            });
        }
        std::vector<const void*> key{"itable"};
        for (std::uint32_t v : imts) key.push_back(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(v) + 1));
        itables_[t] = table(key, [&] {
            out_.u16(static_cast<std::uint32_t>(lo));
            out_.u16(static_cast<std::uint32_t>(hi));
            for (std::uint32_t v : imts) {
                if (v) out_.ref([v] { return v; });
                else out_.u32(0);
            }
        });
    }
}

// Writes a table where it is, or, sharing, finds the one written before
// with the same key.
std::uint32_t TypeRecordsWriter::table(const std::vector<const void*>& key, const std::function<void()>& write) {
    if (share_tables_) {
        auto it = tables_.find(key);
        if (it != tables_.end()) return it->second;
    }
    const std::uint32_t at = out_.pos();
    write();
    if (share_tables_) tables_[key] = at;
    return at;
}

}  // namespace tarvelo::imagelink
