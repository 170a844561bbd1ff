// The type headers of a module and the dispatch tables after them, as
// vm/model/type_record.h lays them out: class slots, then array
// slots, then the records of abstract classes and interfaces, then the
// descriptors of shared interfaces, the virtual method tables, hierarchy
// tables, interface method tables with their interface tables and the
// super-interface tables. The kernel image and an application file write
// them alike through their ModuleOutput; the kernel also lets equal tables
// (and a hierarchy that starts another) share their storage.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "tools/imagelink/link_context.h"
#include "tools/imagelink/module_output.h"

namespace tarvelo::imagelink {

class TypeRecordsWriter {
public:
    // `types`: the module's own types, in link order.
    TypeRecordsWriter(LinkContext& ctx, ModuleOutput& out, const std::vector<Type*>& types, bool share_tables);

    // Gives every type its header's offset from the current position
    // (aligned for the slots), which becomes the types base; answers the
    // offset just past the last header. Nothing is written yet.
    std::uint32_t place();
    std::uint32_t types_start() const { return types_start_; }
    const std::vector<Type*>& classes() const { return classes_; }  // with instances
    const std::vector<Type*>& arrays() const { return arrays_; }

    // The headers, at the offsets place() gave.
    void write_type_headers();
    std::uint32_t concrete_end() const { return concrete_end_; }  // past the array slots
    std::uint32_t types_end() const { return types_end_; }

    // The tables the headers point to (4-aligned).
    void write_dispatch_tables();

private:
    LinkContext& ctx_;
    ModuleOutput& out_;
    bool share_tables_;
    std::vector<Type*> types_;
    std::set<const Type*> own_;
    std::vector<Type*> classes_, arrays_, abstracts_;
    std::uint32_t types_start_ = 0, concrete_end_ = 0, types_end_ = 0;
    std::map<const Type*, std::uint32_t> hierarchy_, itables_, vtables_, supers_, shared_;
    std::map<const Method*, std::uint32_t> shared_methods_;
    std::map<std::vector<const void*>, std::uint32_t> tables_;  // shared tables by content

    void write_common(Type* t);
    void write_shared_descriptors();
    void write_hierarchies();
    void write_interface_tables();
    std::uint32_t table(const std::vector<const void*>& key, const std::function<void()>& write);
};

}  // namespace tarvelo::imagelink
