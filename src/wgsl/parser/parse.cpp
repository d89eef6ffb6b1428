#include "wgsl/parser/parse.h"

#include "wgsl/common/try.h"
#include "wgsl/parser/lower.h"
#include "wgsl/parser/syntax.h"

namespace trelliken::wgsl {

Result<ir::Module> parse(std::string_view source) {
    WGSL_TRY(ast::Module tree, parse_syntax(source));
    return lower::Lowerer(source, tree).run();
}

}  // namespace trelliken::wgsl
