#include "wgsl/common/layout.h"

namespace trelliken::wgsl {

Layout layout_of(const ir::Arena<ir::Type>& types, ir::Handle<ir::Type> h) {
    using namespace ir::type;
    if (!types.contains(h)) return {};
    const ir::TypeInner& inner = types[h].inner;
    if (auto* s = std::get_if<Scalar>(&inner)) {
        const uint32_t w = s->scalar.kind == ir::ScalarKind::Bool ? 4 : s->scalar.width;
        return {w, w};
    }
    if (auto* v = std::get_if<Vector>(&inner)) {
        const uint32_t w = v->scalar.kind == ir::ScalarKind::Bool ? 4 : v->scalar.width;
        const uint32_t n = static_cast<uint32_t>(v->size);
        return {n * w, (n == 2 ? 2 : 4) * w};
    }
    if (auto* m = std::get_if<Matrix>(&inner)) {
        const uint32_t w = m->scalar.width;
        const uint32_t rows = static_cast<uint32_t>(m->rows);
        const uint32_t col_align = (rows == 2 ? 2 : 4) * w;
        const uint32_t col_size = round_up(col_align, rows * w);
        return {static_cast<uint32_t>(m->columns) * col_size, col_align};
    }
    if (auto* a = std::get_if<Atomic>(&inner)) return {a->scalar.width, a->scalar.width};
    if (std::get_if<Pointer>(&inner)) return {8, 8};
    if (auto* a = std::get_if<Array>(&inner)) {
        if (!(a->base < h)) return {};
        const Layout e = layout_of(types, a->base);
        const uint64_t n = a->size.kind == ir::ArraySize::Kind::Constant ? a->size.count : 1;
        const uint64_t size = n * a->stride;
        return {size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size), e.align};
    }
    if (auto* s = std::get_if<Struct>(&inner)) {
        uint32_t align = 1;
        for (const ir::StructMember& m : s->members) {
            if (!(m.type < h)) continue;
            const uint32_t a = m.align ? *m.align : layout_of(types, m.type).align;
            if (a > align) align = a;
        }
        return {s->span, align};
    }
    return {};
}

Result<void> compute_struct_layout(const ir::Arena<ir::Type>& types, ir::type::Struct& s, Span span) {
    uint64_t offset = 0;
    uint32_t align = 1;
    for (ir::StructMember& m : s.members) {
        const Layout l = layout_of(types, m.type);
        uint32_t a = l.align;
        if (m.align) {
            if (*m.align == 0 || (*m.align & (*m.align - 1)) != 0)
                return error_at(span, "@align of member '" + m.name + "' must be a power of two");
            a = *m.align;
        }
        uint32_t size = l.size;
        if (m.size) {
            if (*m.size < l.size) return error_at(span, "@size of member '" + m.name + "' is smaller than its type");
            size = *m.size;
        }
        offset = (offset + a - 1) / a * a;
        if (offset > UINT32_MAX) return error_at(span, "struct too large");
        m.offset = static_cast<uint32_t>(offset);
        offset += size;
        if (a > align) align = a;
    }
    offset = (offset + align - 1) / align * align;
    if (offset > UINT32_MAX) return error_at(span, "struct too large");
    s.span = static_cast<uint32_t>(offset);
    return {};
}

TypeInterner::Key TypeInterner::key_of(const ir::TypeInner& inner) {
    using namespace ir::type;
    // First word: variant index, scalar kind and width, sizes, space and access; second word: handles and counts.
    auto sc = [](ir::Scalar s) { return (static_cast<uint64_t>(s.kind) << 8) | s.width; };
    uint64_t a = static_cast<uint64_t>(inner.index()) << 56;
    uint64_t b = 0;
    if (auto* s = std::get_if<Scalar>(&inner)) a |= sc(s->scalar);
    else if (auto* v = std::get_if<Vector>(&inner)) a |= sc(v->scalar) | (static_cast<uint64_t>(v->size) << 16);
    else if (auto* m = std::get_if<Matrix>(&inner))
        a |= sc(m->scalar) | (static_cast<uint64_t>(m->columns) << 16) | (static_cast<uint64_t>(m->rows) << 24);
    else if (auto* t = std::get_if<Atomic>(&inner)) a |= sc(t->scalar);
    else if (auto* p = std::get_if<Pointer>(&inner)) {
        a |= (static_cast<uint64_t>(p->space) << 16) | (static_cast<uint64_t>(p->access) << 24);
        b = p->base.index;
    } else if (auto* r = std::get_if<Array>(&inner)) {
        a |= (static_cast<uint64_t>(r->size.kind) << 16) | (static_cast<uint64_t>(r->stride) << 24);
        b = (static_cast<uint64_t>(r->base.index) << 32) | r->size.count;
    }
    return {a, b};
}

TypeInterner::TypeInterner(ir::Arena<ir::Type>& types) : types_(&types) {
    for (uint32_t i = 0; i < types.size(); ++i) {
        const ir::Type& t = types[types.handle(i)];
        if (!std::holds_alternative<ir::type::Struct>(t.inner)) index_.emplace(key_of(t.inner), types.handle(i));
    }
}

ir::Handle<ir::Type> TypeInterner::intern(ir::TypeInner inner, Span span) {
    const Key key = key_of(inner);
    if (auto it = index_.find(key); it != index_.end()) return it->second;
    auto h = types_->append(ir::Type{std::nullopt, std::move(inner)}, span);
    index_.emplace(key, h);
    return h;
}

ir::Handle<ir::Type> TypeInterner::add_struct(std::string name, ir::type::Struct s, Span span) {
    return types_->append(ir::Type{std::move(name), std::move(s)}, span);
}

}  // namespace trelliken::wgsl
