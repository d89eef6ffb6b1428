#pragma once
// Internal state of write_wgsl(): module-level names, and the per-function plan of which expressions become
// `let` declarations (baked) and which are written inline at their single use.

#include <string>
#include <vector>

#include "wgsl/common/naming.h"
#include "wgsl/writer/write.h"

namespace trelliken::wgsl::writing {

/// Expressions deeper than this are split with a `let`, so writing never recurses without bound.
inline constexpr int kMaxInlineDepth = 32;

struct FunctionState {
    const ir::Function* fn = nullptr;
    const FunctionInfo* info = nullptr;
    std::vector<std::string> names;  // per expression: name when baked or produced by a statement
    std::vector<uint8_t> baked;      // per expression: written as a `let` (or `_ =`) at its Emit
    std::vector<uint32_t> sites;     // per expression: textual uses
    std::vector<std::string> arg_names;
    std::vector<std::string> local_names;
};

class Writer {
public:
    Writer(const ir::Module& m, const ModuleInfo& info) : m_(m), info_(info) {}
    Result<std::string> run();

private:
    // module_writer.cpp
    void name_module();
    Result<void> write_types();
    Result<void> write_globals();
    Result<void> write_function(const ir::Function& fn, const FunctionInfo& info, const ir::EntryPoint* ep,
                                const std::string& name);
    std::string type_text(ir::Handle<ir::Type> h) const;
    std::string scalar_text(ir::Scalar s) const;

    // function_writer.cpp
    void plan(FunctionState& st);
    Result<void> block(const ir::Block& b, int indent);
    Result<void> statement(const ir::Statement& s, int indent);
    void line(int indent, const std::string& text);

    // expression_writer.cpp
    Result<std::string> value(ir::Handle<ir::Expression> h);
    Result<std::string> reference(ir::Handle<ir::Expression> h, bool use_name = true);
    Result<std::string> expression(ir::Handle<ir::Expression> h);
    Result<std::string> literal(const ir::Literal& l) const;
    const ir::TypeInner& type_of(ir::Handle<ir::Expression> h) const;
    ir::Handle<ir::Type> type_handle(ir::Handle<ir::Expression> h) const;
    bool is_pointer(ir::Handle<ir::Expression> h) const;

    const ir::Module& m_;
    const ModuleInfo& info_;
    std::string out_;
    Namer module_names_;
    std::vector<std::string> type_names_;      // struct names by type index
    std::vector<std::vector<std::string>> member_names_;
    std::vector<std::string> constant_names_, override_names_, global_names_, function_names_, entry_names_;
    // Set while writing a function; null while writing module-level expressions.
    FunctionState* fs_ = nullptr;
    int depth_ = 0;
};

}  // namespace trelliken::wgsl::writing
