#include "tools/imagelink/immutable_writer.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "tools/imagelink/text_lexer.h"
#include "tools/imagelink/text_parser.h"

namespace tarvelo::imagelink {

ImmutableObjects::ImmutableObjects(LinkContext& ctx, std::vector<Immutable*> immutables)
    : ctx_(ctx), immutables_(std::move(immutables)) {
    for (Immutable* im : immutables_) {
        if (im->listed) ctx_.intern(utf8_to_utf16(im->name));
        Type* t = ctx_.type_for(im->type, im->where);
        objects_.push_back({t, &im->value, im, im->where, 0});
    }
    // Nested objects and strings inside the values.
    for (std::size_t i = 0; i < objects_.size(); ++i) collect_nested(i);
    for (const ImmObject& o : objects_)
        if (o.type->name == names::kString) check_string(o);
}

// A String's chars are read by the virtual machine and the class library as
// its fields say: its value must be a char[] holding [offset, offset + count).
void ImmutableObjects::check_string(const ImmObject& o) const {
    const Value* value = nullptr;
    std::int64_t offset = 0, count = 0;
    for (const FieldInit& f : o.value->fields) {
        if (f.name == "value") value = &f.value;
        if (f.name == "offset" && f.value.kind == Value::Kind::Integer) offset = f.value.integer;
        if (f.name == "count" && f.value.kind == Value::Kind::Integer) count = f.value.integer;
    }
    // The chars of the value: text, or an immutable char[] of text or items.
    if (value != nullptr && value->kind == Value::Kind::Immutable) {
        const Immutable* chars = own(value->text, value->where);
        const Type* type = ctx_.type_for(chars->type, chars->where);
        value = type->is_array() && type->array_type.element() == primitive(BaseKind::Char) ? &chars->value : nullptr;
    }
    std::int64_t length = -1;
    if (value != nullptr && value->kind == Value::Kind::String) length = static_cast<std::int64_t>(value->chars.size());
    if (value != nullptr && value->kind == Value::Kind::List) length = static_cast<std::int64_t>(value->items.size());
    if (length < 0) fail(o.where, "a java.lang.String's value must be a char[]");
    if (offset < 0 || count < 0 || offset + count > length)
        fail(o.where, "a java.lang.String's offset " + std::to_string(offset) + " and count " + std::to_string(count) +
                          " must lie within its " + std::to_string(length) + " chars");
}

Immutable* ImmutableObjects::own(const std::string& name, const SourceLocation& at) const {
    Immutable* im = ctx_.immutable(name, at);
    if (owns(im)) return im;
    fail(at, "the immutable '" + name + "' belongs to the kernel; an application's immutables name only its own");
}

void ImmutableObjects::collect_nested(std::size_t i) {
    const ImmObject o = objects_[i];
    const Value& v = *o.value;
    auto nested = [&](const Value& item, const JavaType& expected, const SourceLocation& at) {
        if (item.kind == Value::Kind::TypeRef) {
            ctx_.type_or_fail(item.text, at);
        } else if (item.kind == Value::Kind::Immutable) {
            own(item.text, at);
        } else if (item.kind == Value::Kind::String) {
            if (expected.is_array()) {
                // char[] and byte[] may be written as text.
                objects_.push_back({ctx_.type_for(expected, at), &item, nullptr, at, 0});
            } else {
                ctx_.intern(item.chars);
            }
        } else if (item.kind == Value::Kind::List || item.kind == Value::Kind::Object) {
            if (!expected.is_ref() || expected == class_type(names::kObject))
                fail(at, "a nested value needs a definite type; declare it as its own immutable and use @name");
            objects_.push_back({ctx_.type_for(expected, at), &item, nullptr, at, 0});
        }
    };
    if (o.type->is_array()) {
        const JavaType elem = o.type->array_type.element();
        if (v.kind == Value::Kind::String) {
            if (elem != primitive(BaseKind::Char) && elem != primitive(BaseKind::Byte))
                fail(o.where, "text initialises char[] and byte[] only");
            return;
        }
        if (v.kind != Value::Kind::List) fail(o.where, "an array is written { item, item, ... }");
        if (elem.is_ref())
            for (const Value& item : v.items) nested(item, elem, item.where);
        return;
    }
    if (v.kind != Value::Kind::Object && !(v.kind == Value::Kind::List && v.items.empty()))
        fail(o.where, "an object is written { field = value, ... }");
    for (const auto& [name, item] : v.fields) {
        Field* f = ctx_.field_ref(name, o.type, item.where);
        if (f->is_static) fail(item.where, "'" + name + "' is a static field");
        if (f->type.is_ref()) nested(item, f->type, item.where);
    }
}

std::vector<const ImmObject*> ImmutableObjects::listed() const {
    std::vector<const ImmObject*> out;
    for (const ImmObject& o : objects_)
        if (o.named && o.named->listed) out.push_back(&o);
    return out;
}

void ImmutableObjects::write_keys(ImmutableSink& out) const {
    const Type* string_array = ctx_.find_type("[Ljava.lang.String;");
    const std::vector<const ImmObject*> names = listed();
    out.object_header(string_array, string_array->where);
    out.u32(static_cast<std::uint32_t>(names.size()));
    for (const ImmObject* o : names) out.ref_string(ctx_.intern(utf8_to_utf16(o->named->name)));
}

void ImmutableObjects::write_values(ImmutableSink& out) const {
    const Type* object_array = ctx_.find_type("[Ljava.lang.Object;");
    const std::vector<const ImmObject*> names = listed();
    out.object_header(object_array, object_array->where);
    out.u32(static_cast<std::uint32_t>(names.size()));
    for (const ImmObject* o : names) out.ref_object([o] { return o->offset; });
}

std::uint64_t ImmutableObjects::scalar_bits(const Value& v, const JavaType& t, const SourceLocation& at) const {
    auto range = [&](std::int64_t lo, std::int64_t hi) {
        if (v.integer < lo || v.integer > hi) fail(at, "value " + std::to_string(v.integer) + " does not fit " + t.java_name());
    };
    if (v.kind == Value::Kind::Floating) {
        if (t.base == BaseKind::Float) {
            // A float written without its f suffix is rounded once from
            // its text, not from the double it was first read as.
            float f = static_cast<float>(v.floating);
            if (!v.single && !v.text.empty()) {
                std::string text = v.text;
                if (text.back() == 'd' || text.back() == 'D') text.pop_back();
                double once;
                if (parse_floating(text + "f", once)) f = static_cast<float>(once);
            }
            std::uint32_t b;
            std::memcpy(&b, &f, 4);
            if (std::isnan(f)) b = 0x7FC00000u;
            return b;
        }
        if (t.base == BaseKind::Double) {
            std::uint64_t b;
            std::memcpy(&b, &v.floating, 8);
            if (std::isnan(v.floating)) b = 0x7FF8000000000000ull;
            return b;
        }
        fail(at, "a floating value for a " + t.java_name());
    }
    if (v.kind != Value::Kind::Integer && v.kind != Value::Kind::Char) fail(at, "a number is needed for a " + t.java_name());
    switch (t.base) {
        case BaseKind::Boolean: range(0, 1); break;
        case BaseKind::Byte: range(-128, 255); break;
        case BaseKind::Char: range(0, 0xFFFF); break;
        case BaseKind::Short: range(-32768, 0xFFFF); break;
        case BaseKind::Int: range(std::numeric_limits<std::int32_t>::min(), 0xFFFFFFFFLL); break;
        case BaseKind::Float: {
            float f = static_cast<float>(v.integer);
            std::uint32_t b;
            std::memcpy(&b, &f, 4);
            return b;
        }
        case BaseKind::Double: {
            double d = static_cast<double>(v.integer);
            std::uint64_t b;
            std::memcpy(&b, &d, 8);
            return b;
        }
        default: break;
    }
    return static_cast<std::uint64_t>(v.integer);
}

// A reference value: null, a string, another immutable, a type, or a
// nested object (the one collected for that value).
void ImmutableObjects::write_ref_value(ImmutableSink& out, const Value& v, const SourceLocation& at) {
    switch (v.kind) {
        case Value::Kind::Null: out.u32(0); return;
        case Value::Kind::String:
            for (const ImmObject& o : objects_)
                if (o.value == &v) return out.ref_object([p = &o] { return p->offset; });
            return out.ref_string(ctx_.intern(v.chars));
        case Value::Kind::Immutable: {
            Immutable* im = own(v.text, at);
            return out.ref_object([im] { return im->offset; });
        }
        case Value::Kind::TypeRef: return out.ref_type(ctx_.type_or_fail(v.text, at), at);
        case Value::Kind::List: case Value::Kind::Object:
            for (const ImmObject& o : objects_)
                if (o.value == &v) return out.ref_object([p = &o] { return p->offset; });
            break;
        default: break;
    }
    fail(at, "a reference value is null, a string, @name, class T or a nested object");
}

void ImmutableObjects::write_objects(ImmutableSink& out) {
    for (ImmObject& o : objects_) write_object(out, o);
}

void ImmutableObjects::write_object(ImmutableSink& out, ImmObject& o) {
    auto align4 = [&] { while (out.pos() % 4) out.u8(0); };
    auto scalar = [&](std::uint64_t bits, std::uint32_t size) {
        for (std::uint32_t k = 0; k < size; ++k) out.u8(static_cast<std::uint32_t>(bits >> (8 * k)) & 0xFF);
    };
    align4();
    const Value& v = *o.value;
    const Type* t = o.type;
    if (t->is_array()) {
        const JavaType elem = t->array_type.element();
        const std::uint32_t es = elem.storage_size();
        std::vector<std::uint64_t> scalars;
        std::uint32_t n;
        if (v.kind == Value::Kind::String) {
            n = static_cast<std::uint32_t>(v.chars.size());
            for (char16_t c : v.chars) {
                if (es == 1 && c > 0xFF) fail(o.where, "text for a byte[] holds characters up to 0xFF");
                scalars.push_back(c);
            }
        } else {
            n = static_cast<std::uint32_t>(v.items.size());
        }
        o.offset = out.pos();
        if (o.named) o.named->offset = o.offset;
        out.object_header(t, o.where);
        out.u32(n);
        if (v.kind == Value::Kind::String) {
            for (std::uint64_t b : scalars) scalar(b, es);
        } else {
            for (const Value& item : v.items) {
                if (elem.is_ref()) write_ref_value(out, item, item.where);
                else scalar(scalar_bits(item, elem, item.where), es);
            }
        }
        align4();
    } else {
        if (!t->is_class() || t->is_abstract) fail(o.where, t->name + " has no instances");
        // Reference fields below the header, lowest address first.
        std::vector<const Value*> refs(t->ref_bytes / 4, nullptr);
        std::map<std::int32_t, std::pair<const Field*, const Value*>> prims;
        for (const auto& [name, item] : v.fields) {
            Field* f = ctx_.field_ref(name, t, item.where);
            if (f->type.is_ref()) refs[static_cast<std::size_t>(-f->offset / 4 - 1)] = &item;
            else prims[f->offset] = {f, &item};
        }
        for (std::size_t k = refs.size(); k-- > 0;) {
            if (refs[k]) write_ref_value(out, *refs[k], refs[k]->where);
            else out.u32(0);
        }
        o.offset = out.pos();
        if (o.named) o.named->offset = o.offset;
        out.object_header(t, o.where);
        const std::uint32_t fields_start = out.pos() - 8;
        for (std::uint32_t k = 8; k < t->instance_size - t->ref_bytes; ++k) out.u8(0);
        for (const auto& [off, fv] : prims) {
            const std::uint64_t bits = scalar_bits(*fv.second, fv.first->type, fv.second->where);
            for (std::uint32_t k = 0; k < fv.first->type.storage_size(); ++k)
                out.set8(fields_start + static_cast<std::uint32_t>(off) + k, static_cast<std::uint8_t>(bits >> (8 * k)));
        }
    }
    out.placed(o);
}

}  // namespace tarvelo::imagelink
