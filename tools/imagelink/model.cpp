#include "tools/imagelink/model.h"

#include "vm/model/image_format.h"

namespace tarvelo::imagelink {

std::uint32_t Program::config_value(const std::string& name) const {
    auto it = config.find(name);
    if (it != config.end()) return it->second;
    for (const auto& d : image::kLinkConfigDefaults)
        if (name == d.name) return d.value;
    return 0;
}

std::string Method::descriptor() const {
    std::string d = "(";
    for (const Param& p : params) d += p.type.descriptor();
    d += ")";
    d += ret.descriptor();
    return d;
}

std::string Method::display_name() const {
    return (owner ? owner->name + "." : std::string()) + name + descriptor();
}

int Method::ref_arg_words() const {
    int n = is_static ? 0 : 1;
    for (const Param& p : params) n += p.type.is_ref() ? 1 : 0;
    return n;
}

int Method::prim_arg_words() const {
    int n = 0;
    for (const Param& p : params) n += p.type.prim_words();
    return n;
}

Method* Type::find_method(const std::string& n, const std::string& d) const {
    for (const auto& m : methods)
        if (m->name == n && m->descriptor() == d) return m.get();
    return nullptr;
}

Field* Type::find_field(const std::string& n) const {
    for (const auto& f : fields)
        if (f->name == n) return f.get();
    return nullptr;
}

Type* Program::find_type(const std::string& name) const {
    for (const auto& t : types)
        if (t->name == name) return t.get();
    return nullptr;
}

}  // namespace tarvelo::imagelink
