#include "wgsl/common/naming.h"

#include <array>

namespace trelliken::wgsl {
namespace {

constexpr std::string_view kReserved[] = {
    // keywords
    "alias", "break", "case", "const", "const_assert", "continue", "continuing", "default", "diagnostic", "discard",
    "else", "enable", "false", "fn", "for", "if", "let", "loop", "override", "requires", "return", "struct",
    "switch", "true", "var", "while",
    // reserved words
    "NULL", "Self", "abstract", "active", "alignas", "alignof", "as", "asm", "asm_fragment", "async", "attribute",
    "auto", "await", "become", "binding_array", "cast", "catch", "class", "co_await", "co_return", "co_yield",
    "coherent", "column_major", "common", "compile", "compile_fragment", "concept", "const_cast", "consteval",
    "constexpr", "constinit", "crate", "debugger", "decltype", "delete", "demote", "demote_to_helper", "do",
    "dynamic_cast", "enum", "explicit", "export", "extends", "extern", "external", "fallthrough", "filter", "final",
    "finally", "friend", "from", "fxgroup", "get", "goto", "groupshared", "highp", "impl", "implements", "import",
    "inline", "instanceof", "interface", "layout", "lowp", "macro", "macro_rules", "match", "mediump", "meta", "mod",
    "module", "move", "mut", "mutable", "namespace", "new", "nil", "noexcept", "noinline", "nointerpolation",
    "noperspective", "null", "nullptr", "of", "operator", "package", "packoffset", "partition", "pass", "patch",
    "pixelfragment", "precise", "precision", "premerge", "priv", "protected", "pub", "public", "readonly", "ref",
    "regardless", "register", "reinterpret_cast", "require", "resource", "restrict", "self", "set", "shared",
    "sizeof", "smooth", "snorm", "static", "static_assert", "static_cast", "std", "subroutine", "super", "target",
    "template", "this", "thread_local", "throw", "trait", "try", "type", "typedef", "typeid", "typename", "typeof",
    "union", "unless", "unorm", "unsafe", "unsized", "use", "using", "varying", "virtual", "volatile", "wgsl",
    "where", "with", "writeonly", "yield",
    // predeclared types
    "bool", "f16", "f32", "f64", "i32", "u32", "i64", "u64", "vec2", "vec3", "vec4", "mat2x2", "mat2x3", "mat2x4",
    "mat3x2", "mat3x3", "mat3x4", "mat4x2", "mat4x3", "mat4x4", "array", "atomic", "ptr", "sampler",
    "sampler_comparison", "texture_1d", "texture_2d", "texture_2d_array", "texture_3d", "texture_cube",
    "texture_cube_array", "texture_multisampled_2d", "texture_storage_1d", "texture_storage_2d",
    "texture_storage_2d_array", "texture_storage_3d", "texture_depth_2d", "texture_depth_2d_array",
    "texture_depth_cube", "texture_depth_cube_array", "texture_depth_multisampled_2d", "texture_external",
    "vec2f", "vec3f", "vec4f", "vec2i", "vec3i", "vec4i", "vec2u", "vec3u", "vec4u", "vec2h", "vec3h", "vec4h",
    "mat2x2f", "mat2x3f", "mat2x4f", "mat3x2f", "mat3x3f", "mat3x4f", "mat4x2f", "mat4x3f", "mat4x4f", "mat2x2h",
    "mat2x3h", "mat2x4h", "mat3x2h", "mat3x3h", "mat3x4h", "mat4x2h", "mat4x3h", "mat4x4h",
    // predeclared functions
    "abs", "acos", "acosh", "all", "any", "arrayLength", "asin", "asinh", "atan", "atan2", "atanh", "atomicAdd",
    "atomicAnd", "atomicCompareExchangeWeak", "atomicExchange", "atomicLoad", "atomicMax", "atomicMin", "atomicOr",
    "atomicStore", "atomicSub", "atomicXor", "bitcast", "ceil", "clamp", "cos", "cosh", "countLeadingZeros",
    "countOneBits", "countTrailingZeros", "cross", "degrees", "determinant", "distance", "dot", "dot4I8Packed",
    "dot4U8Packed", "dpdx", "dpdxCoarse", "dpdxFine", "dpdy", "dpdyCoarse", "dpdyFine", "exp", "exp2",
    "extractBits", "faceForward", "firstLeadingBit", "firstTrailingBit", "floor", "fma", "fract", "frexp", "fwidth",
    "fwidthCoarse", "fwidthFine", "insertBits", "inverseSqrt", "ldexp", "length", "log", "log2", "max", "min", "mix",
    "modf", "normalize", "pack2x16float", "pack2x16snorm", "pack2x16unorm", "pack4x8snorm", "pack4x8unorm",
    "pack4xI8", "pack4xU8", "pow", "quantizeToF16", "radians", "reflect", "refract", "reverseBits", "round",
    "saturate", "select", "sign", "sin", "sinh", "smoothstep", "sqrt", "step", "storageBarrier", "tan", "tanh",
    "textureBarrier", "textureDimensions", "textureGather", "textureLoad", "textureSample", "textureStore",
    "transpose", "trunc", "unpack2x16float", "unpack2x16snorm", "unpack2x16unorm", "unpack4x8snorm",
    "unpack4x8unorm", "workgroupBarrier", "workgroupUniformLoad",
};

}  // namespace

bool is_reserved_name(std::string_view name) {
    static const std::unordered_set<std::string_view> set(std::begin(kReserved), std::end(kReserved));
    return set.count(name) != 0;
}

std::string Namer::fresh(std::string_view base) {
    std::string name;
    for (char c : base)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') name += c;
    while (name.size() >= 2 && name[0] == '_' && name[1] == '_') name.erase(0, 1);
    if (name.empty() || name == "_" || (name[0] >= '0' && name[0] <= '9')) name = "v" + name;
    if (is_reserved_name(name)) name += "_";
    if (take(name)) return name;
    for (unsigned i = 1;; ++i) {
        std::string candidate = name + "_" + std::to_string(i);
        if (take(candidate)) return candidate;
    }
}

}  // namespace trelliken::wgsl
