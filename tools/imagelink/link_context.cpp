#include "tools/imagelink/link_context.h"

#include "vm/model/type_record.h"

namespace tarvelo::imagelink {

LinkContext::LinkContext(Program& p) : program(p) {
    for (auto& t : program.types) register_type(t.get());
    for (auto& im : program.immutables) {
        if (immutables_.count(im.name)) fail(im.where, "immutable '" + im.name + "' declared twice");
        immutables_[im.name] = &im;
    }
    object_ = find_type(names::kObject);
    class_ = find_type(names::kClass);
    string_ = find_type(names::kString);
}

void LinkContext::register_type(Type* t) { types_[t->name] = t; }

Type* LinkContext::find_type(const std::string& name) {
    auto it = types_.find(name);
    if (it != types_.end()) return it->second;
    // Array types exist as soon as their element type does.
    if (!name.empty() && name[0] == '[') {
        std::size_t pos = 0;
        auto jt = parse_descriptor(name, pos);
        if (!jt || pos != name.size() || !jt->is_array()) return nullptr;
        const JavaType elem = jt->element();
        if (elem.is_ref() && !find_type(elem.type_name())) return nullptr;
        auto t = std::make_unique<Type>();
        t->kind = Type::Kind::Array;
        t->name = jt->type_name();
        t->array_type = *jt;
        Type* raw = t.get();
        program.types.push_back(std::move(t));
        register_type(raw);
        if (laid_out_) {
            if (elem.is_ref()) raw->element_type = find_type(elem.type_name());
            raw->flags = image::kTypeArray;
            raw->symbol = "_java_" + type_symbol_part(*jt);
        }
        return raw;
    }
    return nullptr;
}

Type* LinkContext::type_or_fail(const std::string& name, const SourceLocation& where) {
    std::string key = name;
    if (auto jt = parse_any_type(name); jt && jt->is_ref()) key = jt->type_name();
    if (Type* t = find_type(key)) return t;
    fail(where, "unknown type '" + name + "'");
}

Type* LinkContext::type_for(const JavaType& t, const SourceLocation& where) {
    if (!t.is_ref()) fail(where, "'" + t.java_name() + "' has no type header");
    return type_or_fail(t.type_name(), where);
}

std::vector<Type*> LinkContext::all_types() const {
    std::vector<Type*> v;
    for (auto& t : program.types) v.push_back(t.get());
    return v;
}

static void split_member(const std::string& text, std::string& owner, std::string& name, std::string& desc) {
    std::string head = text;
    desc.clear();
    if (auto p = text.find('('); p != std::string::npos) {
        head = text.substr(0, p);
        desc = text.substr(p);
    }
    const auto dot = head.rfind('.');
    if (dot == std::string::npos) {
        owner.clear();
        name = head;
    } else {
        owner = head.substr(0, dot);
        name = head.substr(dot + 1);
    }
}

// Method descriptors may be written with '/' or '.' in class names.
static std::string normalise_descriptor(const std::string& d) {
    std::string out;
    std::size_t pos = 1;
    if (d.empty() || d[0] != '(') return d;
    out = "(";
    while (pos < d.size() && d[pos] != ')') {
        auto t = parse_descriptor(d, pos);
        if (!t) return d;
        out += t->descriptor();
    }
    if (pos >= d.size()) return d;
    ++pos;
    auto r = parse_descriptor(d, pos);
    if (!r || pos != d.size()) return d;
    return out + ")" + r->descriptor();
}

Field* LinkContext::field_ref(const std::string& text, const Type* context, const SourceLocation& where) {
    std::string owner, name, desc;
    split_member(text, owner, name, desc);
    if (!desc.empty()) fail(where, "'" + text + "' is a method, not a field");
    const Type* t = owner.empty() ? context : find_type(owner);
    if (!t) fail(where, owner.empty() ? "field '" + text + "' needs its class" : "unknown type '" + owner + "'");
    for (const Type* s = t; s; s = s->super)
        if (Field* f = s->find_field(name)) return f;
    fail(where, "unknown field '" + name + "' in " + t->name);
}

Method* LinkContext::method_ref(const std::string& text, const Type* context, const SourceLocation& where,
                                std::optional<bool> want_static) {
    std::string owner, name, desc;
    split_member(text, owner, name, desc);
    const Type* t = owner.empty() ? context : find_type(owner);
    if (!t) fail(where, owner.empty() ? "method '" + text + "' needs its class" : "unknown type '" + owner + "'");
    const std::string d = normalise_descriptor(desc);
    auto search = [&](const Type* s) -> Method* {
        Method* found = nullptr;
        for (const auto& m : s->methods) {
            if (m->name != name || (want_static && m->is_static != *want_static)) continue;
            if (!d.empty()) {
                if (m->descriptor() == d) return m.get();
                continue;
            }
            if (found) {
                // A class's constructors: without a descriptor, the one
                // without parameters, so that adding a constructor to a class
                // leaves the images that call its default one as they were.
                if (name == "<init>") {
                    for (const auto& c : s->methods)
                        if (c->name == name && c->params.empty()) return c.get();
                }
                fail(where, "'" + name + "' is overloaded in " + s->name + "; give its descriptor");
            }
            found = m.get();
        }
        return found;
    };
    for (const Type* s = t; s; s = s->super)
        if (Method* m = search(s)) return m;
    if (t->is_interface() || t->is_abstract)
        for (const Type* i : t->all_interfaces)
            if (Method* m = search(i)) return m;
    // None of the kind wanted: the one of the other kind, which the caller
    // then refuses by name.
    if (want_static) return method_ref(text, context, where);
    fail(where, "unknown method '" + name + (d.empty() ? "" : d) + "' in " + t->name);
}

Method* LinkContext::main_method() {
    if (program.main_method.empty()) return nullptr;
    return method_ref(program.main_method, nullptr, program.main_where);
}

std::uint32_t LinkContext::intern(const std::u16string& s) {
    auto it = string_index_.find(s);
    if (it != string_index_.end()) return it->second;
    const auto i = static_cast<std::uint32_t>(strings_.size());
    strings_.push_back(s);
    string_index_[s] = i;
    return i;
}

Immutable* LinkContext::immutable(const std::string& name, const SourceLocation& where) {
    auto it = immutables_.find(name);
    if (it == immutables_.end()) fail(where, "unknown immutable '" + name + "'");
    return it->second;
}

}  // namespace tarvelo::imagelink
