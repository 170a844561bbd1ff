// Type graph resolution and the layout of fields, statics and dispatch.
#include <algorithm>
#include <functional>
#include <set>

#include "tools/imagelink/link_context.h"
#include "vm/model/image_format.h"
#include "vm/model/type_record.h"

namespace tarvelo::imagelink {

namespace {

void resolve_supers(LinkContext& ctx) {
    Type* object = ctx.object_type();
    const SourceLocation image = ctx.program.whole_image();
    if (!object)
        fail(image, "the image defines no java.lang.Object (an image starts with .include \"runtime.tvi\")");
    if (!ctx.class_type()) fail(image, "the image defines no java.lang.Class");
    if (!object->is_class() || !object->super_name.empty())
        fail(object->where, "java.lang.Object is a class without a superclass");
    for (Type* t : ctx.all_types()) {
        if (t->is_array()) continue;
        if (t->is_class() && t != object) {
            const std::string sn = t->super_name.empty() ? names::kObject : t->super_name;
            Type* s = ctx.type_or_fail(sn, t->where);
            if (!s->is_class()) fail(t->where, t->name + " extends " + sn + ", which is not a class");
            t->super = s;
        }
        for (const std::string& in : t->interface_names) {
            Type* i = ctx.type_or_fail(in, t->where);
            if (!i->is_interface()) fail(t->where, t->name + ": " + in + " is not an interface");
            if (std::find(t->interfaces.begin(), t->interfaces.end(), i) != t->interfaces.end())
                fail(t->where, t->name + " names " + in + " twice");
            t->interfaces.push_back(i);
        }
    }
    // Class depths, refusing cycles.
    for (Type* t : ctx.all_types()) {
        if (!t->is_class()) continue;
        int depth = 0;
        for (Type* s = t->super; s; s = s->super) {
            if (++depth > 255 || s == t) fail(t->where, "the superclasses of " + t->name + " form a cycle");
        }
        t->depth = depth;
    }
    // Interface depths and super-interface closures, refusing cycles.
    std::map<Type*, int> state;  // 1 visiting, 2 done
    std::function<void(Type*)> visit = [&](Type* i) {
        if (state[i] == 2) return;
        if (state[i] == 1) fail(i->where, "the super-interfaces of " + i->name + " form a cycle");
        state[i] = 1;
        int depth = 0;
        std::vector<Type*> all;
        auto add = [&](Type* x) { if (std::find(all.begin(), all.end(), x) == all.end()) all.push_back(x); };
        for (Type* s : i->interfaces) {
            visit(s);
            depth = std::max(depth, s->depth + 1);
            add(s);
            for (Type* ss : s->all_interfaces) add(ss);
        }
        i->depth = depth;
        i->all_interfaces = std::move(all);
        state[i] = 2;
    };
    for (Type* t : ctx.all_types())
        if (t->is_interface()) visit(t);
    // Interfaces implemented by each class, all of them, superclass ones first.
    std::vector<Type*> classes;
    for (Type* t : ctx.all_types()) if (t->is_class()) classes.push_back(t);
    std::sort(classes.begin(), classes.end(), [](Type* a, Type* b) { return a->depth < b->depth; });
    for (Type* c : classes) {
        std::vector<Type*> all = c->super ? c->super->all_interfaces : std::vector<Type*>{};
        auto add = [&](Type* i) { if (std::find(all.begin(), all.end(), i) == all.end()) all.push_back(i); };
        for (Type* i : c->interfaces) {
            add(i);
            for (Type* s : i->all_interfaces) add(s);
        }
        c->all_interfaces = all;
    }
    for (Type* t : ctx.all_types()) {
        if (!t->is_array()) continue;
        const JavaType e = t->array_type.element();
        if (e.is_ref()) t->element_type = ctx.type_for(e, t->where);
    }
}

std::uint32_t align_up(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

void layout_instance_fields(Type* c) {
    const Type* s = c->super;
    std::uint32_t ref_bytes = s ? s->ref_bytes : 0;
    const std::uint32_t base = s ? s->prim_end : 8;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> used;  // [start, end) of own primitive fields
    std::set<std::int32_t> used_refs;
    auto overlaps = [&](std::uint32_t a, std::uint32_t b) {
        for (auto& u : used) if (a < u.second && u.first < b) return true;
        return false;
    };
    // Pinned fields first, then the others in declaration order.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto& fp : c->fields) {
            Field* f = fp.get();
            if (f->is_static || f->pinned.has_value() != (pass == 0)) continue;
            if (f->type.is_ref()) {
                std::int32_t off;
                if (f->pinned) {
                    off = *f->pinned;
                    if (off >= 0 || off % 4) fail(f->where, "a reference field lies below the header: 'at -4', 'at -8', ...");
                    if (static_cast<std::uint32_t>(-off) <= (s ? s->ref_bytes : 0))
                        fail(f->where, "field '" + f->name + "' overlaps a field of the superclass");
                } else {
                    off = -static_cast<std::int32_t>((s ? s->ref_bytes : 0) + 4);
                    while (used_refs.count(off)) off -= 4;
                }
                if (used_refs.count(off)) fail(f->where, "field '" + f->name + "' overlaps another field");
                used_refs.insert(off);
                f->offset = off;
                ref_bytes = std::max(ref_bytes, static_cast<std::uint32_t>(-off));
            } else {
                const std::uint32_t size = f->type.storage_size();
                const std::uint32_t align = std::min<std::uint32_t>(size, 4);
                std::uint32_t off;
                if (f->pinned) {
                    if (*f->pinned < 8) fail(f->where, "a primitive field lies at 8 or above");
                    off = static_cast<std::uint32_t>(*f->pinned);
                    if (off % align) fail(f->where, "field '" + f->name + "' is not aligned to its size");
                    if (off < base) fail(f->where, "field '" + f->name + "' overlaps a field of the superclass");
                    if (overlaps(off, off + size)) fail(f->where, "field '" + f->name + "' overlaps another field");
                } else {
                    off = align_up(base, align);
                    while (overlaps(off, off + size)) off = align_up(off + 1, align);
                }
                used.emplace_back(off, off + size);
                f->offset = static_cast<std::int32_t>(off);
            }
        }
    }
    // Reference fields must fill the words below the header without holes.
    for (std::int32_t off = -4; -off <= static_cast<std::int32_t>(ref_bytes); off -= 4) {
        const bool inherited = s && static_cast<std::uint32_t>(-off) <= s->ref_bytes;
        if (!inherited && !used_refs.count(off))
            fail(c->where, c->name + ": no reference field at " + std::to_string(off) + " below the header");
    }
    std::uint32_t end = base;
    for (auto& u : used) end = std::max(end, u.second);
    c->ref_bytes = ref_bytes;
    c->prim_end = end;
    c->instance_size = ref_bytes + align_up(end, 4);
    if (c->instance_size > 0xFFFF) fail(c->where, c->name + " is too large (" + std::to_string(c->instance_size) + " bytes)");
}

void layout_statics(LinkContext& ctx) {
    std::set<std::string> used_symbols;
    for (Type* t : ctx.all_types()) {
        for (auto& fp : t->fields) {
            Field* f = fp.get();
            if (!f->is_static) continue;
            std::string sym = "_java_S" + mangle(t->name) + "__" + mangle(f->name);
            for (int k = 2; used_symbols.count(sym); ++k) sym = "_java_S" + mangle(t->name) + "__" + mangle(f->name) + "_" + std::to_string(k);
            used_symbols.insert(sym);
            f->symbol = sym;
            if (f->lazy) {
                ctx.lazy_statics.push_back(f);
                continue;
            }
            image::StaticsArea area = image::kStaticsREF;
            if (!f->type.is_ref()) {
                switch (f->type.storage_size()) {
                    case 1: area = image::kStaticsBT1; break;
                    case 2: area = image::kStaticsBT2; break;
                    case 8: area = image::kStaticsBT8; break;
                    default: area = image::kStaticsBT4; break;
                }
            }
            ctx.statics[area].push_back(f);
        }
    }
}

bool same_signature(const Method* a, const Method* b) { return a->name == b->name && a->descriptor() == b->descriptor(); }

void layout_vtables(LinkContext& ctx) {
    Type* object = ctx.object_type();
    static const char* object_slots[4][2] = {
        {"clone", "()Ljava.lang.Object;"}, {"equals", "(Ljava.lang.Object;)Z"},
        {"hashCode", "()I"}, {"toString", "()Ljava.lang.String;"},
    };
    std::vector<Type*> classes;
    for (Type* t : ctx.all_types()) if (t->is_class()) classes.push_back(t);
    std::stable_sort(classes.begin(), classes.end(), [](Type* a, Type* b) { return a->depth < b->depth; });
    for (Type* c : classes) {
        std::vector<Method*> vt = c->super ? c->super->vtable : std::vector<Method*>{};
        if (c == object) {
            for (auto& slot : object_slots) {
                Method* m = object->find_method(slot[0], slot[1]);
                if (!m || !m->is_virtual())
                    fail(object->where, std::string("java.lang.Object must declare the virtual method ") + slot[0] + slot[1]);
                vt.push_back(m);
            }
        }
        for (auto& mp : c->methods) {
            Method* m = mp.get();
            if (!m->is_virtual()) continue;
            auto it = std::find_if(vt.begin(), vt.end(), [&](Method* v) { return same_signature(v, m); });
            if (it != vt.end()) {
                if ((*it)->is_final && (*it)->owner != c)
                    fail(m->where, m->name + " overrides a final method of " + (*it)->owner->name);
                *it = m;
            } else {
                vt.push_back(m);
            }
        }
        if (vt.size() > 0x7FFF) fail(c->where, c->name + " has too many virtual methods");
        for (std::size_t i = 0; i < vt.size(); ++i)
            if (vt[i]->owner == c) vt[i]->vtable_slot = static_cast<int>(i);
        c->vtable = std::move(vt);
        if (!c->is_abstract) {
            for (Method* m : c->vtable)
                if (m->is_abstract)
                    fail(c->where, c->name + " does not implement " + m->display_name());
        }
    }
    // Interface methods: position in their interface.
    for (Type* t : ctx.all_types()) {
        if (!t->is_interface()) continue;
        for (auto& mp : t->methods) {
            if (mp->is_static) continue;
            mp->interface_index = static_cast<int>(t->interface_methods.size());
            t->interface_methods.push_back(mp.get());
        }
    }
    // Every concrete class implements every method of its interfaces.
    for (Type* c : classes) {
        if (c->is_abstract) continue;
        for (Type* i : c->all_interfaces)
            for (Method* im : i->interface_methods) {
                auto it = std::find_if(c->vtable.begin(), c->vtable.end(), [&](Method* v) { return same_signature(v, im); });
                if (it == c->vtable.end() || (*it)->is_abstract)
                    fail(c->where, c->name + " does not implement " + im->display_name());
            }
    }
}

// Interface ids: no class may implement two interfaces with the same id.
// Greedy colouring of the interfaces that meet in some class.
void assign_interface_ids(LinkContext& ctx) {
    std::vector<Type*> interfaces;
    for (Type* t : ctx.all_types()) if (t->is_interface()) interfaces.push_back(t);
    std::map<Type*, std::set<Type*>> conflicts;
    for (Type* t : ctx.all_types()) {
        if (!t->is_class()) continue;
        for (Type* a : t->all_interfaces)
            for (Type* b : t->all_interfaces)
                if (a != b) conflicts[a].insert(b);
    }
    for (Type* i : interfaces) {
        std::set<int> taken;
        for (Type* o : conflicts[i]) if (o->interface_id >= 0) taken.insert(o->interface_id);
        int id = 0;
        while (taken.count(id)) ++id;
        if (id > 0xFFFF) fail(i->where, "too many interfaces");
        i->interface_id = id;
    }
}

void compute_flags(LinkContext& ctx) {
    for (Type* t : ctx.all_types()) {
        std::uint8_t f = 0;
        if (t->is_array()) {
            f = image::kTypeArray;
        } else if (t->is_interface()) {
            f = image::kTypeInterface | image::kTypeAbstract;
        } else {
            if (t->is_abstract) f |= image::kTypeAbstract;
            if (Method* ctor = t->find_method("<init>", "()V")) {
                if (ctor->is_private) f |= image::kTypePrivateCtor;
                if (ctor->is_public) f |= image::kTypePublicCtor;
            }
            if (t->private_ctor) f |= image::kTypePrivateCtor;
            if (t->public_ctor) f |= image::kTypePublicCtor;
        }
        if (t->exported) f |= image::kTypeExported;
        t->flags = f;
        t->symbol = "_java_" + type_symbol_part(t->is_array() ? t->array_type : class_type(t->name));
    }
    ctx.mark_laid_out();
}

}  // namespace

void layout_types(LinkContext& ctx) {
    // Array types the virtual machine and the image records need.
    if (ctx.string_type()) {
        ctx.find_type("[Ljava.lang.String;");
    }
    ctx.find_type("[Ljava.lang.Object;");
    ctx.find_type("[C");
    ctx.find_type("[I");
    for (Type* t : ctx.all_types())
        if (t->is_array() && t->array_type.element().is_ref() && !ctx.find_type(t->array_type.element().type_name()))
            fail(t->where, "unknown element type of " + t->name);
    resolve_supers(ctx);
    std::vector<Type*> classes;
    for (Type* t : ctx.all_types()) if (t->is_class()) classes.push_back(t);
    std::stable_sort(classes.begin(), classes.end(), [](Type* a, Type* b) { return a->depth < b->depth; });
    for (Type* c : classes) layout_instance_fields(c);
    for (Type* t : ctx.all_types())
        if (t->is_interface())
            for (auto& f : t->fields)
                if (!f->is_static) fail(f->where, "interface fields are static");
    layout_statics(ctx);
    layout_vtables(ctx);
    assign_interface_ids(ctx);
    compute_flags(ctx);
}

std::vector<Method*> interface_method_table(const Type& c, const Type& i) {
    std::vector<Method*> out;
    for (Method* im : i.interface_methods) {
        Method* impl = nullptr;
        for (Method* v : c.vtable)
            if (same_signature(v, im)) impl = v->is_abstract ? nullptr : v;
        out.push_back(impl);
    }
    return out;
}

}  // namespace tarvelo::imagelink
