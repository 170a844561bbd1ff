#include "tools/imagelink/image_builder.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "tools/imagelink/immutable_writer.h"
#include "tools/imagelink/method_record_writer.h"
#include "tools/imagelink/package_table.h"
#include "tools/imagelink/text_lexer.h"
#include "tools/imagelink/text_parser.h"
#include "tools/imagelink/type_records_writer.h"
#include "vm/core/bytecode/opcodes.h"
#include "vm/model/image_format.h"
#include "vm/model/method_record.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/model/object_header.h"

namespace tarvelo::imagelink {

namespace {

class ImageBuilder : public ModuleOutput {
public:
    explicit ImageBuilder(LinkContext& ctx) : ctx_(ctx) {}

    LinkedImage build() {
        prepare();
        write_section_header();
        write_type_headers();
        write_dispatch_tables();
        write_file_header();
        write_clinits();
        write_names_records();
        write_methods();
        write_kernel_tables();
        write_signature();
        write_shared_array();
        write_names_data();
        write_properties();
        write_immutables();
        write_strings();
        write_resources();
        write_feature_descriptor();
        label("_java_vornsection_end");
        resolve_pending();
        plan_ram();
        plan_config();
        out_.weak_externals = ctx_.program.weak_externals;
        out_.bytes = std::move(bytes_);
        return std::move(out_);
    }

private:
    LinkContext& ctx_;
    LinkedImage out_;
    std::vector<std::pair<std::uint32_t, std::function<std::uint32_t()>>> pending_;
    std::optional<TypeRecordsWriter> types_;
    std::uint32_t types_start_ = 0;
    std::optional<ImmutableObjects> immutables_;
    PackageTable packages_;
    std::string names_;
    std::map<std::string, std::uint32_t> name_pos_;
    std::map<const Type*, std::uint32_t> name_record_;
    std::uint32_t strings_start_ = 0;
    std::vector<std::uint32_t> string_char_offset_;
    std::uint32_t shared_array_ = 0;
    std::uint32_t file_header_ = 0, clinits_start_ = 0, clinits_end_ = 0;
    std::uint32_t resources_start_ = 0, resources_end_ = 0, class_names_start_ = 0, class_names_end_ = 0;
    std::uint32_t wrappers_start_ = 0, wrappers_end_ = 0, addresses_start_ = 0, addresses_end_ = 0;
    std::uint32_t uids_start_ = 0, uids_end_ = 0;
    std::uint32_t immutable_keys_ = 0, immutable_values_ = 0, immutables_start_ = 0, immutables_end_ = 0;
    std::vector<std::uint32_t> resource_data_;
    std::vector<std::uint32_t> resource_records_;
    std::vector<std::pair<int, std::string>> resource_names_;  // package, file name

    // --- byte output
    void label(const std::string& name, bool global = true) { out_.labels.push_back({name, pos(), global}); }
    void mapped(std::uint32_t off, std::uint32_t size, const std::string& kind, const std::string& name) {
        out_.map.push_back({off, size, kind, name});
    }
    // A word holding an image address known only later.
    void ref(std::function<std::uint32_t()> target) override {
        pending_.emplace_back(pos(), std::move(target));
        u32(0);
    }
    void ref_at(std::uint32_t at, std::function<std::uint32_t()> target) { pending_.emplace_back(at, std::move(target)); }
    void ref_offset(std::uint32_t off) { ref([off] { return off; }); }
    void symbol(const std::string& sym, std::int32_t addend = 0) {
        out_.relocations.push_back({pos(), true, 0, sym, addend});
        add_external(sym);
        u32(0);
    }
    void add_external(const std::string& sym) {
        if (std::find(out_.externals.begin(), out_.externals.end(), sym) == out_.externals.end()) out_.externals.push_back(sym);
    }
    void type_word(const Type* t, const SourceLocation&) override { ref([t] { return t->offset; }); }
    void method_word(const Method* m, const SourceLocation&) override { ref([m] { return m->offset; }); }
    void object_header(const Type* t, const SourceLocation&) override {
        u32(header_word(t));
        u32(0);  // owner: the kernel
    }
    void name_record_word(const Type* t) override { ref([this, t] { return name_record_.at(t); }); }
    void string_word(std::uint32_t interned) override { ref([this, interned] { return string_ref(interned); }); }

    std::uint32_t resolve(const ImageRef& r) {
        switch (r.kind) {
            case ImageRef::Kind::Type: return static_cast<const Type*>(r.ptr)->offset + static_cast<std::uint32_t>(r.addend);
            case ImageRef::Kind::Method: return static_cast<const Method*>(r.ptr)->offset + static_cast<std::uint32_t>(r.addend);
            case ImageRef::Kind::String: return string_ref(r.index) + static_cast<std::uint32_t>(r.addend);
            case ImageRef::Kind::Immutable: return static_cast<const Immutable*>(r.ptr)->offset + static_cast<std::uint32_t>(r.addend);
            case ImageRef::Kind::Offset: return r.index + static_cast<std::uint32_t>(r.addend);
            case ImageRef::Kind::Symbol: break;
        }
        return 0;
    }
    void code_reference(std::uint32_t at, const ImageRef& r, const Method&) override {
        if (r.kind == ImageRef::Kind::Symbol) {
            out_.relocations.push_back({at, true, 0, r.symbol, r.addend});
            add_external(r.symbol);
            return;
        }
        ImageRef copy = r;
        ref_at(at, [this, copy] { return resolve(copy); });
    }

    std::uint32_t string_ref(std::uint32_t index) const {
        return strings_start_ + image::kStringRecordSize * index + image::kStringRecordObjectOffset;
    }
    std::uint32_t type_offset(const Type* t) const { return t->offset - types_start_; }
    // Image objects are born with an identity hash (1 to 31 in turn): the
    // image is read-only, so the first hashCode of one must find its hash
    // present rather than write it into the header.
    std::uint32_t next_hash_ = 0;
    std::uint32_t header_word(const Type* t) {
        next_hash_ = next_hash_ % 31 + 1;
        return memory::immortal_header(type_offset(t), next_hash_);
    }

    // --- preparation: strings, immutables, type order
    void prepare() {
        for (const VmString& s : kVmStrings) ctx_.intern(s.text);
        for (const auto& s : ctx_.program.strings) ctx_.intern(s);
        for (const Property& p : ctx_.program.properties) {
            ctx_.intern(p.key);
            ctx_.intern(p.value);
        }
        if (!ctx_.find_type("[Ljava.lang.String;") || !ctx_.string_type())
            fail(ctx_.program.whole_image(), "the image defines no java.lang.String");
        std::vector<Immutable*> all;
        for (Immutable& im : ctx_.program.immutables) all.push_back(&im);
        immutables_.emplace(ctx_, std::move(all));
        if (!ctx_.find_type(names::kOutOfMemoryError)) fail(ctx_.program.whole_image(), "the image defines no java.lang.OutOfMemoryError");
    }

    // --- section and type headers
    void write_section_header() {
        label("_java_vornsection_header_start");
        zeros(image::kSectionHeaderSize);
        mapped(0, image::kSectionHeaderSize, "region", "image section header");
    }

    void write_type_headers() {
        types_.emplace(ctx_, *this, ctx_.all_types(), /*share_tables=*/true);
        types_->place();
        types_start_ = types_->types_start();
        for (const std::vector<Type*>* slots : {&types_->classes(), &types_->arrays()})
            for (Type* t : *slots)
                if (type_offset(t) > memory::kMaxTypeOffset)
                    fail(t->where, "too many type headers: the type offset of " + t->name + " does not fit 14 bits");
        label("_java_header_types_start");
        for (Type* t : ctx_.all_types()) {
            out_.labels.push_back({t->symbol, t->offset, true});
            mapped(t->offset, image::type_record_size(t->flags), "type", t->name);
        }
        types_->write_type_headers();
        out_.labels.push_back({"_java_header_concretetypes_end", types_->concrete_end(), true});
        label("_java_header_types_end");
    }

    // Equal tables share their storage in the kernel image.
    void write_dispatch_tables() {
        align(4);
        const std::uint32_t start = pos();
        types_->write_dispatch_tables();
        mapped(start, pos() - start, "region", "dispatch tables");
    }

    void write_file_header() {
        align(4);
        file_header_ = pos();
        label("_java_vornfile_header_start");
        u32(0);
        u32(0);
        u32(image::kImageMagic);
        u32(0);  // allocation argument
        u32(0);
        mapped(file_header_, image::kFileHeaderSize, "region", "file header");
    }

    void write_clinits() {
        std::vector<Method*> order;
        std::set<const Type*> listed;
        for (const auto& [name, where] : ctx_.program.clinit_order) {
            Type* t = ctx_.type_or_fail(name, where);
            Method* m = t->find_method("<clinit>", "()V");
            if (!m) fail(where, name + " has no static initialiser");
            if (!listed.insert(t).second) fail(where, name + " is listed twice");
            order.push_back(m);
        }
        for (Type* t : ctx_.all_types()) {
            if (listed.count(t)) continue;
            if (Method* m = t->find_method("<clinit>", "()V")) order.push_back(m);
        }
        clinits_start_ = pos();
        label("_java_clinits_start");
        for (Method* m : order) ref([m] { return m->offset; });
        clinits_end_ = pos();
        label("_java_clinits_end");
        mapped(clinits_start_, clinits_end_ - clinits_start_, "table", "class initialisers");
    }

    // --- names
    std::uint32_t name_data(const std::string& s) {
        auto it = name_pos_.find(s);
        if (it != name_pos_.end()) return it->second;
        std::size_t at = names_.find(s);
        if (at == std::string::npos) {
            at = names_.size();
            names_ += s;
        }
        name_pos_[s] = static_cast<std::uint32_t>(at);
        return static_cast<std::uint32_t>(at);
    }
    std::uint32_t names_start_ = 0;
    void name_ref(const std::string& s) {
        const std::uint32_t at = name_data(s);
        ref([this, at] { return names_start_ + at; });
    }

    int package_of(const std::vector<std::string>& parts, std::size_t count) { return packages_.package_of(parts, count); }
    static std::vector<std::string> split(const std::string& s, char sep) { return PackageTable::split(s, sep); }
    void package_word(int pkg) {
        if (pkg < 0) u32(0);
        else ref([this, pkg] { return packages_.packages()[static_cast<std::size_t>(pkg)].offset; });
    }

    void write_names_records() {
        // Packages of every class and resource.
        std::map<const Type*, std::pair<int, std::string>> class_names;
        for (Type* t : ctx_.all_types()) {
            if (t->is_array()) continue;
            auto parts = split(t->name, '.');
            const int pkg = package_of(parts, parts.size() - 1);
            class_names[t] = {pkg, parts.back()};
        }
        for (const Resource& r : ctx_.program.resources) {
            auto parts = split(r.name.substr(1), '/');
            const int pkg = package_of(parts, parts.size() - 1);
            resource_names_.emplace_back(pkg, parts.back());
        }
        align(4);
        const std::uint32_t packages_start = pos();
        for (PackageTable::Package& p : packages_.packages()) {
            p.offset = pos();
            name_ref(p.name);
            u32(static_cast<std::uint32_t>(p.name.size()));
            package_word(p.parent);
        }
        if (!packages_.packages().empty()) mapped(packages_start, pos() - packages_start, "table", "package records");
        resources_start_ = pos();
        label("_java_resource_names_start");
        for (std::size_t i = 0; i < resource_names_.size(); ++i) {
            const auto& [pkg, file] = resource_names_[i];
            resource_records_.push_back(pos());
            name_ref(file);
            u32(static_cast<std::uint32_t>(file.size()));
            package_word(pkg);
            u32(static_cast<std::uint32_t>(ctx_.program.resources[i].data.size()));
            ref([this, i] { return resource_data_.at(i); });
            u32(0);  // owner: the kernel
            mapped(resource_records_.back(), image::kResourceRecordSize, "resource", ctx_.program.resources[i].name);
        }
        resources_end_ = pos();
        label("_java_resource_names_end");
        class_names_start_ = pos();
        label("_java_class_names_start");
        // One record per primitive element code, from long (11) down to boolean (4).
        std::map<std::uint32_t, std::uint32_t> prim_record;
        for (std::uint32_t code = image::kFirstPrimitiveRecordCode; code >= 4; --code) {
            prim_record[code] = pos();
            name_ref(std::string(1, static_cast<char>(code)));
            u32(1);
            u32(0);
            u32(code);
        }
        std::vector<Type*> ordered;
        for (Type* t : ctx_.all_types()) if (!t->is_array()) ordered.push_back(t);
        for (Type* t : ctx_.all_types()) if (t->is_array()) ordered.push_back(t);
        std::uint32_t at = pos();
        for (Type* t : ordered) { name_record_[t] = at; t->name_record = at; at += image::kClassNameRecordSize; }
        for (Type* t : ordered) {
            if (t->is_array()) {
                // '[' name, dimension count, element record, type.
                name_ref("[");
                u32(static_cast<std::uint32_t>(t->array_type.dims));
                JavaType base = t->array_type;
                base.dims = 0;
                if (base.is_ref()) {
                    const Type* e = ctx_.type_for(base, t->where);
                    ref([this, e] { return name_record_.at(e); });
                } else {
                    const std::uint32_t code = JavaType{base.base, {}, 1}.primitive_code();
                    ref([prim_record, code] { return prim_record.at(code); });
                }
            } else {
                const auto& [pkg, simple] = class_names.at(t);
                name_ref(simple);
                u32(static_cast<std::uint32_t>(simple.size()));
                package_word(pkg);
            }
            if (t->findable) ref([t] { return t->offset; });
            else u32(0);
        }
        class_names_end_ = pos();
        label("_java_class_names_end");
        mapped(class_names_start_, class_names_end_ - class_names_start_, "table", "class-name records");
    }

    // --- methods
    // `_java_M<class>__<name>`, with `__<descriptor>` for an overloaded name.
    std::set<std::string> method_symbols_;
    std::string method_symbol(const Method& m) {
        std::string sym = "_java_M" + mangle(m.owner->name) + "__" + mangle(m.name);
        int same = 0;
        for (const auto& o : m.owner->methods) same += o->name == m.name;
        if (same > 1) sym += "__" + mangle(m.descriptor());
        const std::string base = sym;
        for (int k = 2; !method_symbols_.insert(sym).second; ++k) sym = base + "_" + std::to_string(k);
        return sym;
    }

    void write_methods() {
        align(4);
        const std::uint32_t start = pos();
        for (Type* t : ctx_.all_types()) {
            for (auto& mp : t->methods) {
                Method& m = *mp;
                if (!m.has_code()) continue;
                out_.methods.push_back(write_method_record(*this, m));
                out_.labels.push_back({method_symbol(m), m.offset, true});
                mapped(m.offset, pos() - m.offset, "method", m.display_name());
            }
        }
        mapped(start, pos() - start, "region", "methods");
    }

    void write_kernel_tables() {
        align(4);
        // Init-wrapper table: lazily initialised statics and their wrappers.
        wrappers_start_ = pos();
        for (Field* f : ctx_.lazy_statics) {
            if (f->init_wrapper.empty()) continue;
            Method* w = ctx_.method_ref(f->init_wrapper, f->owner, f->where);
            if (!w->is_static || !w->params.empty() || !w->ret.is_void())
                fail(f->where, "an init wrapper is a static method without arguments returning void");
            symbol(f->symbol);
            ref([w] { return w->offset; });
        }
        wrappers_end_ = pos();
        mapped(wrappers_start_, wrappers_end_ - wrappers_start_, "table", "init wrappers");
        // Kernel addresses table: inline routines, then exported types,
        // methods and statics.
        addresses_start_ = pos();
        label("_java_kernel_addresses_table_start");
        for (const auto& r : bytecode::kInlineRoutines) symbol(r.symbol);
        for (Type* t : ctx_.all_types()) if (t->exported) ref([t] { return t->offset; });
        for (Type* t : ctx_.all_types())
            for (auto& m : t->methods)
                if (m->exported) {
                    if (!m->has_code()) fail(m->where, "an abstract method cannot be exported");
                    Method* mm = m.get();
                    ref([mm] { return mm->offset; });
                }
        for (Type* t : ctx_.all_types())
            for (auto& f : t->fields)
                if (f->exported) symbol(f->symbol);
        addresses_end_ = pos();
        label("_java_kernel_addresses_table_end");
        mapped(addresses_start_, addresses_end_ - addresses_start_, "table", "kernel addresses");
        uids_start_ = pos();
        label("_java_kernel_compatible_uids_table_start");
        for (const auto& uid : ctx_.program.compatible_uids) {
            u8(static_cast<std::uint32_t>(uid.size()));
            for (std::uint8_t b : uid) u8(b);
        }
        uids_end_ = pos();
        label("_java_kernel_compatible_uids_table_end");
        align(4);
        label("_java_kernel_header_start");
        const std::uint32_t kh = pos();
        ref_offset(wrappers_start_);
        ref_offset(wrappers_end_);
        ref_offset(addresses_start_);
        ref_offset(addresses_end_);
        ref_offset(uids_start_);
        ref_offset(uids_end_);
        symbol("_java_kernel_code_chunk_start");
        symbol("_java_kernel_code_chunk_end");
        mapped(kh, 32, "region", "kernel header");
    }

    void write_signature() {
        label("_java_signature_start");
        std::vector<std::uint8_t> sig;
        if (ctx_.program.signature) {
            sig = *ctx_.program.signature;
        } else {
            // A kernel identifier that changes with what the kernel exports.
            std::uint64_t h[3] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull, 0x9ce484222325cbf2ull};
            auto mix = [&](const std::string& s) {
                for (int k = 0; k < 3; ++k)
                    for (char c : s) h[k] = (h[k] ^ static_cast<unsigned char>(c)) * (0x100000001b3ull + 2 * static_cast<unsigned>(k));
            };
            for (Type* t : ctx_.all_types()) {
                mix(t->name);
                for (auto& m : t->methods) mix(m->name + m->descriptor());
            }
            for (int k = 0; k < 3; ++k)
                for (int b = 0; b < 8; ++b) sig.push_back(static_cast<std::uint8_t>(h[k] >> (8 * b)));
        }
        for (std::uint8_t b : sig) u8(b);
        label("_java_signature_end");
        mapped(pos() - 24, 24, "region", "kernel signature");
    }

    void write_array_header(const Type* t, std::uint32_t length) {
        object_header(t, SourceLocation{});
        u32(length);
    }

    void write_shared_array() {
        align(4);
        std::u16string pool;
        for (const auto& s : ctx_.interned()) {
            std::size_t at = pool.find(s);
            if (at == std::u16string::npos || s.empty()) {
                at = s.empty() ? 0 : pool.size();
                if (!s.empty()) pool += s;
            }
            string_char_offset_.push_back(static_cast<std::uint32_t>(at));
        }
        shared_array_ = pos();
        label("_java_sharedarray_start");
        write_array_header(ctx_.find_type("[C"), static_cast<std::uint32_t>(pool.size()));
        for (char16_t c : pool) u16(c);
        align(4);
        mapped(shared_array_, pos() - shared_array_, "region", "shared char array");
    }

    void write_names_data() {
        names_start_ = pos();
        label("_java_names_data_start");
        for (char c : names_) u8(static_cast<unsigned char>(c));
        align(4);
        mapped(names_start_, pos() - names_start_, "region", "names data");
    }

    void write_properties() {
        const Type* string_array = ctx_.find_type("[Ljava.lang.String;");
        const auto n = static_cast<std::uint32_t>(ctx_.program.properties.size());
        label("_java_properties_Keys");
        const std::uint32_t start = pos();
        write_array_header(string_array, n);
        for (const Property& p : ctx_.program.properties) {
            string_word(ctx_.intern(p.key));
        }
        label("_java_properties_Values");
        write_array_header(string_array, n);
        for (const Property& p : ctx_.program.properties) {
            string_word(ctx_.intern(p.value));
        }
        mapped(start, pos() - start, "region", "system properties");
    }

    // --- immutables
    void write_immutables() {
        align(4);
        immutables_start_ = pos();
        label("_java_immutables_start");
        ModuleImmutables sink(*this, [this](const ImmObject& o) {
            if (o.named) out_.labels.push_back({"_java_I" + mangle(o.named->name), o.offset, false});
            mapped(o.offset, pos() - o.offset, "immutable", o.named ? o.named->name : o.type->name);
        });
        immutable_keys_ = pos();
        label("_java_immutable_Keys");
        immutables_->write_keys(sink);
        immutable_values_ = pos();
        label("_java_immutable_Values");
        immutables_->write_values(sink);
        // The pre-built OutOfMemoryError, all fields zero.
        const Type* oome = ctx_.find_type(names::kOutOfMemoryError);
        if (!oome->is_class() || oome->is_abstract) fail(oome->where, "java.lang.OutOfMemoryError must be a class with instances");
        zeros(oome->ref_bytes);
        label("_java_Object_OutOfMemory");
        const std::uint32_t oome_at = pos();
        object_header(oome, oome->where);
        zeros(oome->instance_size - oome->ref_bytes - 8);
        mapped(oome_at, oome->instance_size - oome->ref_bytes, "immutable", "pre-built OutOfMemoryError");
        immutables_->write_objects(sink);
        immutables_end_ = pos();
        label("_java_immutables_end");
    }

    // --- strings and the rest
    void write_strings() {
        align(4);
        strings_start_ = pos();
        label("_java_internStrings_start");
        const Type* string_type = ctx_.string_type();
        if (string_type->ref_bytes != image::kStringRefBytes || string_type->instance_size != image::kStringInstanceSize)
            fail(string_type->where, "java.lang.String must have one reference field and three int fields (offset, count, hash)");
        const auto& strings = ctx_.interned();
        for (std::size_t i = 0; i < strings.size(); ++i) {
            const std::u16string& s = strings[i];
            ref_offset(shared_array_);
            object_header(string_type, string_type->where);
            u32(string_char_offset_[i]);
            u32(static_cast<std::uint32_t>(s.size()));
            u32(image::string_hash(s.data(), s.size()));
            mapped(strings_start_ + static_cast<std::uint32_t>(i) * image::kStringRecordSize + 4, 20, "string",
                   "\"" + utf16_to_utf8(s) + "\"");
        }
        label("_java_internStrings_end");
        for (const VmString& v : kVmStrings) {
            const std::uint32_t i = ctx_.intern(v.text);
            out_.labels.push_back({v.symbol, string_ref(i), true});
        }
    }

    void write_resources() {
        for (const Resource& r : ctx_.program.resources) {
            align(4);
            resource_data_.push_back(pos());
            append(r.data);
            mapped(resource_data_.back(), static_cast<std::uint32_t>(r.data.size()), "resource data", r.name);
        }
    }

    void write_feature_descriptor() {
        align(4);
        label("_java_features_start");
        const std::uint32_t at = pos();
        u32(0);
        if (!ctx_.program.module_data.empty()) {
            Immutable* im = ctx_.immutable(ctx_.program.module_data, SourceLocation{});
            ref([im] { return im->offset; });
        } else {
            u32(0);
        }
        ref_offset(0);
        ref_offset(types_start_);
        ref_offset(out_.label("_java_header_concretetypes_end"));
        ref_offset(out_.label("_java_header_types_end"));
        ref_offset(class_names_start_);
        ref_offset(class_names_end_);
        ref_offset(resources_start_);
        ref_offset(resources_end_);
        ref_offset(immutable_keys_);
        ref_offset(immutable_values_);
        ref_offset(immutables_start_);
        ref_offset(immutables_end_);
        ref_offset(strings_start_);
        ref_offset(out_.label("_java_internStrings_end"));
        ref_offset(shared_array_);
        mapped(at, 68, "region", "feature descriptor");
    }

    void resolve_pending() {
        for (auto& [at, fn] : pending_) out_.relocations.push_back({at, false, fn(), {}, 0});
        std::sort(out_.relocations.begin(), out_.relocations.end(),
                  [](const Relocation& a, const Relocation& b) { return a.at < b.at; });
        for (std::size_t i = 1; i < out_.relocations.size(); ++i)
            if (out_.relocations[i].at < out_.relocations[i - 1].at + 4)
                fail(SourceLocation{}, "internal: overlapping relocations");
        std::stable_sort(out_.labels.begin(), out_.labels.end(),
                         [](const ImageLabel& a, const ImageLabel& b) { return a.offset < b.offset; });
        std::stable_sort(out_.map.begin(), out_.map.end(), [](const MapEntry& a, const MapEntry& b) { return a.offset < b.offset; });
    }

    std::uint32_t config_value(const char* name) const { return ctx_.program.config_value(name); }

    void plan_ram() {
        auto& ram = out_.ram;
        static const char* area_names[] = {"bt1", "bt2", "bt4", "bt8", "ref"};
        for (int a = 0; a < 5; ++a) {
            const auto area = static_cast<image::StaticsArea>(a);
            const std::uint32_t align_to = image::statics_alignment(area);
            ram.push_back({std::string("_java_statics_") + area_names[a] + "_start", 0, std::max<std::uint32_t>(align_to, 4), true});
            for (Field* f : ctx_.statics[a]) ram.push_back({f->symbol, f->type.storage_size(), align_to, true});
            if (area == image::kStaticsREF) {
                ram.push_back({"_java_statics_refls_kernel_start", 0, 4, true});
                for (Field* f : ctx_.lazy_statics) ram.push_back({f->symbol, 4, 4, true});
                ram.push_back({"_java_statics_refls_kernel_end", 0, 4, true});
            }
            ram.push_back({std::string("_java_statics_") + area_names[a] + "_end", 0, 1, true});
        }
        // The main heap follows the reference statics directly.
        const std::uint32_t heap = config_value("_java_heap_size");
        ram.push_back({"_java_heap_start", heap, 4, true});
        ram.push_back({"_java_heap_end", 0, 1, true});
        ram.push_back({"_java_immortals_start", config_value("_java_immortals_size"), 4, true});
        ram.push_back({"_java_immortals_end", 0, 1, true});
        ram.push_back({"_java_oome_frames_start", image::oome_frames_size(config_value("_java_oome_nb_frames")), 4, true});
        ram.push_back({"_java_oome_frames_end", 0, 1, true});
        ram.push_back({"_java_features_dynamic_start", 4 * config_value("_java_max_nb_dynamic_features"), 4, true});
        ram.push_back({"_java_features_dynamic_end", 0, 1, true});
        ram.push_back({"_java_kernel_code_chunk_start",
                       image::kCodeChunkDescriptorSize + config_value("_java_kernel_code_chunk_size"), 8, true});
        ram.push_back({"_java_kernel_code_chunk_end", 0, 1, true});
        // Symbols defined here are not needed from the firmware.
        std::set<std::string> defined;
        for (const RamItem& r : ram) defined.insert(r.name);
        out_.externals.erase(std::remove_if(out_.externals.begin(), out_.externals.end(),
                                            [&](const std::string& s) { return defined.count(s) > 0; }),
                             out_.externals.end());
    }

    void plan_config() {
        for (const auto& [name, value] : ctx_.program.config) {
            bool known = false;
            for (const auto& d : image::kLinkConfigDefaults) known |= name == d.name;
            if (!known) fail(ctx_.program.whole_image(), "unknown configuration symbol '" + name + "'");
        }
        for (const auto& d : image::kLinkConfigDefaults) out_.config.emplace_back(d.name, config_value(d.name));
        for (const auto& [name, value] : ctx_.program.config) out_.config_overrides.push_back(name);
    }
};

}  // namespace

LinkedImage build_image(LinkContext& ctx) {
    ImageBuilder b(ctx);
    return b.build();
}

}  // namespace tarvelo::imagelink
