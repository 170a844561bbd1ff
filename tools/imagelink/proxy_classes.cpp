#include "tools/imagelink/proxy_classes.h"

#include <algorithm>
#include <set>

#include "tools/imagelink/link_error.h"
#include "tools/imagelink/shared_interface_layout.h"

namespace tarvelo::imagelink {

namespace {

constexpr const char* kProxyBase = "yq.kf.Proxy";

int levels(const JavaType& t) {
    if (!t.is_array()) return 0;
    return t.base == BaseKind::Class ? t.dims : 0;
}

// The abstract methods of `i` and of its super-interfaces, each signature
// once, the interface's own first.
void collect_methods(const Program& program, const Type& i, std::set<std::string>& seen, std::vector<const Method*>& out,
                     std::set<const Type*>& visited) {
    if (!visited.insert(&i).second) return;
    for (const auto& m : i.methods)
        if (m->is_abstract && seen.insert(m->name + m->descriptor()).second) out.push_back(m.get());
    for (const std::string& name : i.interface_names)
        if (const Type* s = program.find_type(name); s && s->is_interface()) collect_methods(program, *s, seen, out, visited);
}

CodeLine instruction(const std::string& name, const SourceLocation& where, std::vector<Operand> operands = {}) {
    CodeLine l;
    l.kind = CodeLine::Kind::Instruction;
    l.name = name;
    l.where = where;
    l.operands = std::move(operands);
    return l;
}

}  // namespace

int proxy_position_registers(const Method& m) {
    int n = levels(m.ret);
    for (const Param& p : m.params) n = std::max(n, levels(p.type));
    return n;
}

void add_proxy_classes(Program& program) {
    std::vector<const Type*> shared;
    for (const auto& t : program.types)
        if (t->is_interface() && t->shared) shared.push_back(t.get());
    if (shared.empty()) return;
    if (!program.find_type(kProxyBase))
        fail(shared.front()->where, "shared interfaces need the class yq.kf.Proxy (runtime.tvi declares it)");
    for (const Type* i : shared) {
        const std::string name = proxy_class_name(i->name);
        if (program.find_type(name))
            fail(program.find_type(name)->where, "'" + name + "' is the name of the proxy class of " + i->name);
        auto c = std::make_unique<Type>();
        c->kind = Type::Kind::Class;
        c->name = name;
        c->super_name = kProxyBase;
        c->interface_names.push_back(i->name);
        c->where = i->where;
        std::set<std::string> seen;
        std::vector<const Method*> methods;
        std::set<const Type*> visited;
        collect_methods(program, *i, seen, methods, visited);
        for (const Method* im : methods) {
            auto m = std::make_unique<Method>();
            m->name = im->name;
            m->params = im->params;
            m->ret = im->ret;
            m->where = im->where;
            m->owner = c.get();
            m->temps = 1 + proxy_position_registers(*im) + im->ret.prim_words();
            Operand reg;
            reg.kind = Operand::Kind::Word;
            reg.text = "p5";
            reg.where = im->where;
            Operand zero;
            zero.kind = Operand::Kind::Integer;
            zero.value = 0;
            zero.where = im->where;
            m->code.push_back(instruction("const", im->where, {reg, zero}));
            m->code.push_back(instruction("invoke_proxy", im->where));
            m->code.push_back(instruction("return", im->where));
            c->methods.push_back(std::move(m));
        }
        program.types.push_back(std::move(c));
    }
}

}  // namespace tarvelo::imagelink
