#include "tools/imagelink/application_builder.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "tools/imagelink/image_builder.h"
#include "tools/imagelink/immutable_writer.h"
#include "tools/imagelink/link_context.h"
#include "tools/imagelink/link_error.h"
#include "tools/imagelink/method_assembler.h"
#include "tools/imagelink/method_record_writer.h"
#include "tools/imagelink/package_table.h"
#include "tools/imagelink/proxy_classes.h"
#include "tools/imagelink/text_lexer.h"
#include "tools/imagelink/type_records_writer.h"
#include "vm/core/bytecode/opcodes.h"
#include "vm/model/image_format.h"
#include "vm/model/method_record.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/model/object_header.h"

namespace tarvelo::imagelink {

std::uint32_t application_crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

namespace {

// What the kernel image exports, by the index of each item in its kernel
// addresses table.
struct KernelExports {
    std::map<std::string, std::uint32_t> types;    // type name
    std::map<std::string, std::uint32_t> methods;  // display name
    std::map<std::string, std::uint32_t> symbols;  // inline routines and statics
    std::set<std::string> type_names;               // every kernel type
    std::vector<std::uint8_t> signature;
    std::uint32_t lazy_statics = 0;
};

KernelExports kernel_exports(LinkContext& k, const LinkedImage& image) {
    KernelExports e;
    std::uint32_t index = 0;
    for (const auto& r : bytecode::kInlineRoutines) e.symbols[r.symbol] = index++;
    for (Type* t : k.all_types()) {
        e.type_names.insert(t->name);
        if (t->exported) e.types[t->name] = index++;
    }
    for (Type* t : k.all_types())
        for (auto& m : t->methods)
            if (m->exported) e.methods[m->display_name()] = index++;
    for (Type* t : k.all_types())
        for (auto& f : t->fields)
            if (f->exported) e.symbols[f->symbol] = index++;
    const std::uint32_t sig = image.label("_java_signature_start");
    e.signature.assign(image.bytes.begin() + sig, image.bytes.begin() + sig + 24);
    e.lazy_statics = static_cast<std::uint32_t>(k.lazy_statics.size());
    return e;
}

// One word of the content to relocate.
struct ContentRelocation {
    enum class Base : std::uint8_t { Kernel = 0, Content = 1, Ram = 2 };
    std::uint32_t at = 0;
    Base base = Base::Content;
    std::uint32_t value = 0;
    bool type_field = false;     // insert a kernel type's offset into an object header
    std::uint32_t fixed_bits = 0;
};

class ApplicationBuilder : public ModuleOutput {
public:
    // `immutables` and `resources` are the application's own (the
    // program holds the kernel's first).
    ApplicationBuilder(LinkContext& ctx, const KernelExports& kernel, Method* entry,
                       std::vector<Immutable*> immutables, std::vector<const Resource*> resources)
        : ctx_(ctx), kernel_(kernel), entry_(entry), resources_(std::move(resources)) {
        // First: the values may name array types no one else does.
        immutables_.emplace(ctx_, std::move(immutables));
    }

    LinkedApplication build() {
        for (Type* t : ctx_.all_types()) {
            if (kernel_.type_names.count(t->name)) continue;
            own_.insert(t);
            check_type(t);
            types_.push_back(t);
        }
        plan_ram();
        // Section table, record and descriptor first: the loader finds the
        // record through the section table.
        section_table_ = pos();
        u32(1);
        zeros(64);
        ref([this] { return record_; });
        record_ = pos();
        ref([this] { return descriptor_; });
        ref([this] { return module_data_; });
        ref([this] { return entry_->owner->offset; });
        ref([this] { return clinits_start_; });
        ref([this] { return clinits_end_; });
        ram_word(0);
        for (int a = 0; a < 5; ++a) {
            ram_word(area_start_[a]);
            ram_word(area_end_[a]);
        }
        ram_word(kernel_statics_);
        descriptor_ = pos();
        u32(0);
        ref([this] { return module_data_; });
        ref([] { return 0u; });
        ref([this] { return types_start_; });
        ref([this] { return concrete_end_; });
        ref([this] { return types_end_; });
        ref([this] { return names_start_; });
        ref([this] { return names_end_; });
        ref([this] { return resources_start_; });
        ref([this] { return resources_end_; });
        ref([this] { return immutable_keys_; });
        ref([this] { return immutable_values_; });
        ref([this] { return immutables_start_; });
        ref([this] { return immutables_end_; });
        ref([this] { return strings_start_; });
        ref([this] { return strings_end_; });
        ref([this] { return shared_array_; });
        write_clinits();
        write_type_headers();
        write_dispatch_tables();
        write_names();
        write_methods();
        split_ = pos();
        immutables_start_ = pos();
        write_module_data();
        write_immutables();
        immutables_end_ = pos();
        write_strings();
        write_resource_data();
        align(16);
        for (auto& [at, fn] : pending_) relocations_.push_back({at, ContentRelocation::Base::Content, fn(), false, 0});
        return container();
    }

private:
    LinkContext& ctx_;
    const KernelExports& kernel_;
    Method* entry_;
    std::set<const Type*> own_;
    std::vector<Type*> types_;  // its own, in link order
    std::optional<TypeRecordsWriter> records_;
    std::vector<ContentRelocation> relocations_;
    std::vector<std::pair<std::uint32_t, std::function<std::uint32_t()>>> pending_;
    std::uint32_t section_table_ = 0, record_ = 0, descriptor_ = 0, module_data_ = 0, module_data_end_ = 0;
    std::uint32_t clinits_start_ = 0, clinits_end_ = 0, types_start_ = 0, concrete_end_ = 0, types_end_ = 0;
    std::uint32_t names_start_ = 0, names_end_ = 0, strings_start_ = 0, strings_end_ = 0, shared_array_ = 0;
    std::uint32_t split_ = 0;
    std::uint32_t resources_start_ = 0, resources_end_ = 0, immutable_keys_ = 0, immutable_values_ = 0;
    std::uint32_t immutables_start_ = 0, immutables_end_ = 0;
    std::optional<ImmutableObjects> immutables_;
    std::vector<const Resource*> resources_;
    std::vector<std::uint32_t> resource_data_;
    std::vector<MapEntry> map_;
    std::vector<MethodSpan> methods_;
    std::uint32_t area_start_[5] = {}, area_end_[5] = {}, kernel_statics_ = 0, ram_size_ = 0;
    std::map<std::string, std::uint32_t> statics_;  // symbol -> RAM offset
    std::map<const Type*, std::uint32_t> name_records_;
    std::map<std::uint32_t, std::uint32_t> strings_;  // interned index -> application string number
    std::vector<std::uint32_t> string_order_;
    std::uint32_t next_hash_ = 0;
    PackageTable packages_;

    // A word holding a content offset known only later.
    void ref(std::function<std::uint32_t()> target) override { ref_content_at(pos(), std::move(target)); u32(0); }
    void ref_content_at(std::uint32_t at, std::function<std::uint32_t()> target) { pending_.emplace_back(at, std::move(target)); }
    void ram_word(std::uint32_t offset) {
        relocations_.push_back({pos(), ContentRelocation::Base::Ram, offset, false, 0});
        u32(0);
    }
    void kernel_word_at(std::uint32_t at, std::uint32_t index) {
        relocations_.push_back({at, ContentRelocation::Base::Kernel, index, false, 0});
    }

    [[noreturn]] void not_exported(const std::string& what, const SourceLocation& where) {
        fail(where, "the kernel does not export " + what + "; an application reaches only exported kernel items");
    }
    std::uint32_t kernel_type_index(const Type* t, const SourceLocation& where) {
        auto it = kernel_.types.find(t->name);
        if (it == kernel_.types.end()) not_exported("the type " + t->name, where);
        return it->second;
    }
    // A reference to a type header: the application's own or an exported
    // kernel type.
    void type_word(const Type* t, const SourceLocation& where) override {
        if (own_.count(t)) ref([t] { return t->offset; });
        else {
            kernel_word_at(pos(), kernel_type_index(t, where));
            u32(0);
        }
    }
    void method_word_at(std::uint32_t at, const Method* m, const SourceLocation& where) {
        if (own_.count(m->owner)) {
            ref_content_at(at, [m] { return m->offset; });
            return;
        }
        auto it = kernel_.methods.find(m->display_name());
        if (it == kernel_.methods.end()) not_exported("the method " + m->display_name(), where);
        kernel_word_at(at, it->second);
    }
    void method_word(const Method* m, const SourceLocation& where) override { method_word_at(pos(), m, where); u32(0); }

    // The header word of an object of the image: its type's offset from
    // the kernel's types base is filled in when the application is loaded.
    void object_header(const Type* t, const SourceLocation& where) override {
        next_hash_ = next_hash_ % 31 + 1;
        if (own_.count(t)) {
            // An object of one of its own types: the type's offset from the
            // application's types base, and the owner word says so.
            u32(memory::immortal_header(t->offset - types_start_, next_hash_));
            ref([this] { return record_ + memory::kOwnerFeatureTypeBit; });
            return;
        }
        relocations_.push_back({pos(), ContentRelocation::Base::Kernel, kernel_type_index(t, where), true,
                                memory::immortal_header(0, next_hash_)});
        u32(memory::kTypeOffsetMask);
        ref([this] { return record_; });  // owner: the application
    }

    void check_type(const Type* t) {
        for (auto& m : t->methods) {
            if (m->native != NativeKind::None) fail(m->where, "an application cannot bind natives (" + m->display_name() + ")");
            // A method that keeps its caller's context would run an
            // application's code as the kernel: out of reach of a kill.
            if (m->keep_context)
                fail(m->where, "an application method cannot keep its caller's context (" + m->display_name() + ")");
        }
        for (auto& f : t->fields)
            if (f->lazy)
                fail(f->where, "an application has no lazily initialised statics: the table of init wrappers is the kernel's");
        if (t->exported) fail(t->where, "an application exports nothing");
    }

    // The runtime state, then the five statics areas. The application's
    // copies of the kernel's lazily initialised statics end its reference
    // statics, as the kernel's own end the kernel's: the collector scans
    // them with the rest, and a kill clears them with the rest.
    void plan_ram() {
        std::uint32_t at = 36;  // the runtime state
        at = (at + 3) & ~3u;
        for (int a = 0; a < 5; ++a) {
            const std::uint32_t al = std::max<std::uint32_t>(image::statics_alignment(static_cast<image::StaticsArea>(a)), 4);
            at = (at + al - 1) / al * al;
            area_start_[a] = at;
            for (Field* f : ctx_.statics[a]) {
                if (!own_.count(f->owner)) continue;
                const std::uint32_t fa = image::statics_alignment(static_cast<image::StaticsArea>(a));
                at = (at + fa - 1) / fa * fa;
                statics_[f->symbol] = at;
                at += f->type.storage_size();
            }
            if (a == image::kStaticsREF) {
                kernel_statics_ = at;
                at += 4 * kernel_.lazy_statics;
            }
            area_end_[a] = at;
        }
        ram_size_ = (at + 7) & ~7u;
    }

    void write_clinits() {
        clinits_start_ = pos();
        for (Type* t : ctx_.all_types())
            if (own_.count(t))
                if (Method* m = t->find_method("<clinit>", "()V")) ref([m] { return m->offset; });
        clinits_end_ = pos();
        map_.push_back({clinits_start_, clinits_end_ - clinits_start_, "table", "class initialisers"});
    }

    // An array of the kernel's elements has no name record here (the
    // kernel's records are not exported): it is named by the application's
    // token and its address.
    void name_record_word(const Type* t) override {
        if (has_name_record(t)) ref([this, t] { return name_records_.at(t); });
        else u32(0);
    }

    // Whether the type gets a class-name record: every class and interface
    // of the application, and its arrays of its own classes.
    bool has_name_record(const Type* t) const {
        if (!t->is_array()) return true;
        JavaType base = t->array_type;
        base.dims = 0;
        if (!base.is_ref()) return false;
        const Type* e = ctx_.find_type(base.type_name());
        return e != nullptr && own_.count(e) > 0;
    }

    void write_type_headers() {
        records_.emplace(ctx_, *this, types_, /*share_tables=*/false);
        const std::uint32_t end = records_->place();
        types_start_ = records_->types_start();
        if (end - types_start_ > memory::kMaxTypeOffset) fail(ctx_.program.whole_image(), "too many types in the application");
        for (Type* t : types_) map_.push_back({t->offset, image::type_record_size(t->flags), "type", t->name});
        records_->write_type_headers();
        concrete_end_ = records_->concrete_end();
        types_end_ = records_->types_end();
    }

    void write_dispatch_tables() {
        const std::uint32_t start = pos();
        records_->write_dispatch_tables();
        map_.push_back({start, pos() - start, "table", "dispatch tables"});
    }

    // Package records, then one class-name record per type (its simple
    // name under its package; arrays as in the kernel's image), then the
    // names' characters.
    void write_names() {
        align(4);
        PackageTable& packages = packages_;
        std::vector<std::pair<std::uint32_t, std::string>> texts;
        auto text_at = [&](const std::string& text) {
            texts.emplace_back(pos(), text);
            u32(0);
        };
        std::map<const Type*, std::pair<int, std::string>> class_names;
        std::vector<Type*> ordered;
        for (Type* t : ctx_.all_types())
            if (own_.count(t) && !t->is_array()) {
                ordered.push_back(t);
                auto parts = PackageTable::split(t->name, '.');
                class_names[t] = {packages.package_of(parts, parts.size() - 1), parts.back()};
            }
        for (Type* t : ctx_.all_types()) if (own_.count(t) && t->is_array() && has_name_record(t)) ordered.push_back(t);
        std::vector<std::pair<int, std::string>> resource_names;
        for (const Resource* r : resources_) {
            auto parts = PackageTable::split(r->name.substr(1), '/');
            resource_names.emplace_back(packages.package_of(parts, parts.size() - 1), parts.back());
        }
        auto package_word = [&](int pkg) {
            if (pkg < 0) u32(0);
            else ref([this, pkg] { return packages_.packages()[static_cast<std::size_t>(pkg)].offset; });
        };
        const std::uint32_t packages_start = pos();
        for (PackageTable::Package& p : packages.packages()) {
            p.offset = pos();
            text_at(p.name);
            u32(static_cast<std::uint32_t>(p.name.size()));
            package_word(p.parent);
        }
        map_.push_back({packages_start, pos() - packages_start, "table", "package records"});
        names_start_ = pos();
        for (Type* t : ordered) {
            name_records_[t] = pos();
            if (t->is_array()) {
                text_at("[");
                u32(static_cast<std::uint32_t>(t->array_type.dims));
                JavaType base = t->array_type;
                base.dims = 0;
                const Type* e = ctx_.type_for(base, t->where);
                ref([this, e] { return name_records_.at(e); });
            } else {
                const auto& [pkg, simple] = class_names.at(t);
                text_at(simple);
                u32(static_cast<std::uint32_t>(simple.size()));
                package_word(pkg);
            }
            if (t->findable) ref([t] { return t->offset; });
            else u32(0);
        }
        names_end_ = pos();
        map_.push_back({names_start_, names_end_ - names_start_, "table", "class-name records"});
        // Resource records: name, its length, package, size, data, owner.
        resources_start_ = pos();
        for (std::size_t i = 0; i < resources_.size(); ++i) {
            map_.push_back({pos(), image::kResourceRecordSize, "resource", resources_[i]->name});
            text_at(resource_names[i].second);
            u32(static_cast<std::uint32_t>(resource_names[i].second.size()));
            package_word(resource_names[i].first);
            u32(static_cast<std::uint32_t>(resources_[i]->data.size()));
            ref([this, i] { return resource_data_.at(i); });
            ref([this] { return record_; });
        }
        resources_end_ = pos();
        const std::uint32_t names_data = pos();
        for (const auto& [at, text] : texts) {
            const std::uint32_t data = pos();
            ref_content_at(at, [data] { return data; });
            for (char c : text) u8(static_cast<unsigned char>(c));
        }
        align(4);
        map_.push_back({names_data, pos() - names_data, "table", "names data"});
    }

    // The content offset of application string `n` as a reference.
    std::uint32_t string_reference(std::uint32_t n) const {
        return strings_start_ + image::kStringRecordSize * n + image::kStringRecordObjectOffset;
    }

    std::uint32_t string_number(std::uint32_t interned) {
        auto it = strings_.find(interned);
        if (it != strings_.end()) return it->second;
        const auto n = static_cast<std::uint32_t>(string_order_.size());
        strings_[interned] = n;
        string_order_.push_back(interned);
        return n;
    }

    void code_reference(std::uint32_t at, const ImageRef& r, const Method& m) override {
        switch (r.kind) {
            case ImageRef::Kind::Type: {
                const auto* t = static_cast<const Type*>(r.ptr);
                if (own_.count(t)) ref_content_at(at, [t, a = r.addend] { return t->offset + static_cast<std::uint32_t>(a); });
                else {
                    patch32(at, static_cast<std::uint32_t>(r.addend));
                    kernel_word_at(at, kernel_type_index(t, m.where));
                }
                return;
            }
            case ImageRef::Kind::Method: {
                const auto* mm = static_cast<const Method*>(r.ptr);
                if (own_.count(mm->owner)) {
                    ref_content_at(at, [mm, a = r.addend] { return mm->offset + static_cast<std::uint32_t>(a); });
                } else {
                    patch32(at, static_cast<std::uint32_t>(r.addend));
                    method_word_at(at, mm, m.where);
                }
                return;
            }
            case ImageRef::Kind::String: {
                const std::uint32_t n = string_number(r.index);
                ref_content_at(at, [this, n, a = r.addend] { return string_reference(n) + static_cast<std::uint32_t>(a); });
                return;
            }
            case ImageRef::Kind::Offset:
                ref_content_at(at, [i = r.index, a = r.addend] { return i + static_cast<std::uint32_t>(a); });
                return;
            case ImageRef::Kind::Symbol: {
                auto own = statics_.find(r.symbol);
                if (own != statics_.end()) {
                    relocations_.push_back({at, ContentRelocation::Base::Ram, own->second + static_cast<std::uint32_t>(r.addend), false, 0});
                    return;
                }
                auto k = kernel_.symbols.find(r.symbol);
                if (k == kernel_.symbols.end()) not_exported("the symbol " + r.symbol, m.where);
                patch32(at, static_cast<std::uint32_t>(r.addend));
                kernel_word_at(at, k->second);
                return;
            }
            case ImageRef::Kind::Immutable: {
                const auto* im = static_cast<const Immutable*>(r.ptr);
                if (!immutables_->owns(im))
                    fail(m.where, "the immutable '" + im->name + "' belongs to the kernel; an application names only its own");
                ref_content_at(at, [im, a = r.addend] { return im->offset + static_cast<std::uint32_t>(a); });
                return;
            }
        }
    }

    void write_methods() {
        align(4);
        for (Type* t : ctx_.all_types()) {
            if (!own_.count(t)) continue;
            for (auto& mp : t->methods) {
                Method& m = *mp;
                if (!m.has_code()) continue;
                methods_.push_back(write_method_record(*this, m));
                map_.push_back({m.offset, pos() - m.offset, "method", m.display_name()});
            }
        }
    }

    // The module data: its name is the entry class's name, as bytes.
    void write_module_data() {
        align(4);
        const Type* md = ctx_.find_type("yq.kf.ModuleData");
        const Type* bytes = ctx_.find_type("[B");
        if (!md || !bytes) fail(ctx_.program.whole_image(), "the kernel defines no yq.kf.ModuleData or byte[]");
        const Field* name = md->find_field("name");
        if (!name || name->offset != -16) fail(md->where, "yq.kf.ModuleData's name must be its fourth reference field");
        const std::string text = entry_->owner->name;
        const std::uint32_t name_array = pos();
        object_header(bytes, md->where);
        u32(static_cast<std::uint32_t>(text.size()));
        for (char c : text) u8(static_cast<unsigned char>(c));
        align(4);
        const std::uint32_t refs = md->ref_bytes / 4;
        for (std::uint32_t k = refs; k-- > 0;) {
            if (k == 3) ref([name_array] { return name_array; });
            else u32(0);
        }
        module_data_ = pos();
        object_header(md, md->where);
        zeros(md->instance_size - md->ref_bytes - 8);
        module_data_end_ = pos();
    }

    void write_immutables() {
        ModuleImmutables sink(*this, [this](const ImmObject& o) {
            map_.push_back({o.offset, pos() - o.offset, "immutable", o.named ? o.named->name : o.type->name});
        });
        align(4);
        immutable_keys_ = pos();
        immutables_->write_keys(sink);
        immutable_values_ = pos();
        immutables_->write_values(sink);
        immutables_->write_objects(sink);
    }

    // A word holding the reference of an interned string of the application.
    void string_word(std::uint32_t interned) override {
        const std::uint32_t n = string_number(interned);
        ref([this, n] { return string_reference(n); });
    }

    void write_resource_data() {
        for (std::size_t i = 0; i < resources_.size(); ++i) {
            align(4);
            resource_data_.push_back(pos());
            append(resources_[i]->data);
            map_.push_back({resource_data_.back(), static_cast<std::uint32_t>(resources_[i]->data.size()), "resource data",
                            resources_[i]->name});
        }
    }

    void write_strings() {
        // Collect the strings the methods named (fixups already numbered
        // them); the shared array holds their characters.
        align(4);
        std::u16string pool;
        std::vector<std::uint32_t> char_at;
        for (std::uint32_t interned : string_order_) {
            const std::u16string& s = ctx_.interned()[interned];
            std::size_t at = s.empty() ? 0 : pool.find(s);
            if (at == std::u16string::npos) { at = pool.size(); pool += s; }
            char_at.push_back(static_cast<std::uint32_t>(at));
        }
        shared_array_ = pos();
        object_header(ctx_.find_type("[C"), ctx_.program.whole_image());
        u32(static_cast<std::uint32_t>(pool.size()));
        for (char16_t c : pool) u16(c);
        align(4);
        map_.push_back({shared_array_, pos() - shared_array_, "table", "shared char array"});
        strings_start_ = pos();
        const Type* string_type = ctx_.string_type();
        for (std::size_t i = 0; i < string_order_.size(); ++i) {
            const std::u16string& s = ctx_.interned()[string_order_[i]];
            ref([this] { return shared_array_; });
            object_header(string_type, string_type->where);
            u32(char_at[i]);
            u32(static_cast<std::uint32_t>(s.size()));
            u32(image::string_hash(s.data(), s.size()));
        }
        strings_end_ = pos();
    }

    static void number(std::vector<std::uint8_t>& out, std::uint32_t v) {
        do {
            std::uint8_t b = v & 0x7F;
            v >>= 7;
            if (v) b |= 0x80;
            out.push_back(b);
        } while (v);
    }

    LinkedApplication container() {
        std::sort(relocations_.begin(), relocations_.end(),
                  [](const ContentRelocation& a, const ContentRelocation& b) { return a.at < b.at; });
        std::vector<std::uint8_t> records;
        std::uint32_t running = 0;
        for (const ContentRelocation& r : relocations_) {
            std::uint32_t kind = r.type_field ? 3u | 8u : 1u;
            kind |= static_cast<std::uint32_t>(r.base) << 6;
            records.push_back(static_cast<std::uint8_t>(kind));
            number(records, r.at - running);
            running = r.at;
            number(records, r.value);
            if (r.type_field)
                for (int k = 0; k < 4; ++k) records.push_back(static_cast<std::uint8_t>(r.fixed_bits >> (8 * k)));
        }
        // Two read-only sections: code (records, types, tables, methods)
        // and data (module data and strings).
        const std::uint32_t split = (split_ + 15) & ~15u;
        const std::uint32_t sections[2][2] = {{0, split}, {split, pos() - split}};
        LinkedApplication out;
        std::vector<std::uint8_t>& f = out.file;
        auto w32 = [&f](std::uint32_t v) { for (int k = 0; k < 4; ++k) f.push_back(static_cast<std::uint8_t>(v >> (8 * k))); };
        w32(app_file::kMagic);
        w32(app_file::kVersion);
        w32(0);  // CRC, below
        w32(pos());
        w32(ram_size_);
        w32(section_table_);
        w32(types_start_);
        w32(2);
        const std::uint32_t data_at = app_file::kHeaderSize + 2 * app_file::kSectionEntrySize;
        w32(data_at + pos());
        w32(static_cast<std::uint32_t>(records.size()));
        f.insert(f.end(), kernel_.signature.begin(), kernel_.signature.end());
        f.resize(app_file::kHeaderSize, 0);
        for (const auto& s : sections) {
            w32(data_at + s[0]);  // file offset
            w32(s[0]);            // content offset
            w32(s[1]);            // size
        }
        f.insert(f.end(), bytes_.begin(), bytes_.end());
        f.insert(f.end(), records.begin(), records.end());
        // The CRC covers what follows the section entries, so that the
        // loader's own checks of the entries are reached with a good CRC.
        const std::uint32_t covered = data_at;
        const std::uint32_t crc = application_crc32(f.data() + covered, f.size() - covered);
        for (int k = 0; k < 4; ++k) f[app_file::kCrcAt + k] = static_cast<std::uint8_t>(crc >> (8 * k));
        out.content_size = pos();
        out.ram_size = ram_size_;
        out.relocation_count = static_cast<std::uint32_t>(relocations_.size());
        map_.push_back({section_table_, record_ - section_table_, "region", "section table"});
        map_.push_back({record_, descriptor_ - record_, "region", "feature record"});
        map_.push_back({descriptor_, 4 * 17, "region", "feature descriptor"});
        map_.push_back({module_data_, module_data_end_ - module_data_, "immutable", "module data"});
        for (std::size_t i = 0; i < string_order_.size(); ++i) {
            const std::u16string& s = ctx_.interned()[string_order_[i]];
            map_.push_back({string_reference(static_cast<std::uint32_t>(i)), image::kStringRecordSize - image::kStringRecordObjectOffset,
                            "string", "\"" + utf16_to_utf8(s) + "\""});
        }
        std::stable_sort(map_.begin(), map_.end(), [](const MapEntry& a, const MapEntry& b) { return a.offset < b.offset; });
        out.map.bytes = bytes_;
        out.map.methods = std::move(methods_);
        out.map.map = std::move(map_);
        out.map.application = entry_->owner->name;
        return out;
    }
};

// Layout facts of the kernel's types that compiled kernel code relies on.
std::string layout_key(const Type* t) {
    std::string k = std::to_string(t->interface_id) + "/" + std::to_string(t->instance_size) + "/" + std::to_string(t->ref_bytes);
    for (const Method* m : t->vtable) k += "|" + m->display_name();
    for (const auto& f : t->fields) k += ";" + f->name + "@" + std::to_string(f->offset) + f->symbol;
    return k;
}

}  // namespace

LinkedApplication link_application(const std::string& kernel, const std::string& application,
                                   const ParseOptions& options, std::vector<std::string>* sources) {
    Program kp;
    parse_file(kp, kernel, options);
    add_proxy_classes(kp);
    LinkContext kctx(kp);
    layout_types(kctx);
    assemble_methods(kctx);
    const LinkedImage kimage = build_image(kctx);
    const KernelExports exports = kernel_exports(kctx, kimage);

    Program program;
    parse_file(program, kernel, options);
    const std::string kernel_main = program.main_method;
    const SourceLocation kernel_main_where = program.main_where;
    program.main_method.clear();
    const std::size_t kernel_immutables = program.immutables.size();
    const std::size_t kernel_resources = program.resources.size();
    const std::size_t kernel_properties = program.properties.size();
    program.own_resources_from = kernel_resources;
    parse_file(program, application, options);
    if (program.properties.size() != kernel_properties)
        fail(program.properties[kernel_properties].where, "an application has no system properties: they are the kernel's");
    const std::string entry = program.main_method;
    const SourceLocation entry_where = program.main_where;
    if (entry.empty()) fail(SourceLocation{application, 0}, "an application names its entry point with .main pkg.Class.method");
    program.main_method = kernel_main;
    program.main_where = kernel_main_where;
    add_proxy_classes(program);
    LinkContext ctx(program);
    layout_types(ctx);
    assemble_methods(ctx);
    for (Type* t : kctx.all_types()) {
        const Type* same = ctx.find_type(t->name);
        if (!same || layout_key(same) != layout_key(t))
            fail(same ? same->where : t->where, "the application changes the layout of the kernel type " + t->name);
    }
    Method* entry_method = ctx.method_ref(entry, nullptr, entry_where);
    if (exports.type_names.count(entry_method->owner->name))
        fail(entry_where, "the entry point must be a class of the application");
    std::vector<Immutable*> immutables;
    for (std::size_t i = kernel_immutables; i < program.immutables.size(); ++i) immutables.push_back(&program.immutables[i]);
    std::vector<const Resource*> resources;
    for (std::size_t i = kernel_resources; i < program.resources.size(); ++i) resources.push_back(&program.resources[i]);
    ApplicationBuilder builder(ctx, exports, entry_method, std::move(immutables), std::move(resources));
    LinkedApplication out = builder.build();
    if (sources) *sources = program.source_files;
    return out;
}

}  // namespace tarvelo::imagelink
