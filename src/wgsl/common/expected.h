#pragma once
// std::expected for the translator. Standard libraries that ship <expected> are used as they are; for a
// compiler whose library lacks it (clang 14 on libstdc++ 12, used for the libFuzzer build) a minimal stand-in
// with the same names and the subset of the interface the translator uses is declared instead.

#include <version>

#if defined(__cpp_lib_expected)
#include <expected>
#else
#include <type_traits>
#include <utility>
#include <variant>

namespace std {

template <class E>
class unexpected {
public:
    template <class Err = E>
        requires(!is_same_v<remove_cvref_t<Err>, unexpected> && is_constructible_v<E, Err>)
    constexpr explicit unexpected(Err&& e) : e_(std::forward<Err>(e)) {}
    constexpr const E& error() const& noexcept { return e_; }
    constexpr E& error() & noexcept { return e_; }
    constexpr E&& error() && noexcept { return std::move(e_); }

private:
    E e_;
};
template <class E>
unexpected(E) -> unexpected<E>;

namespace expected_detail {
template <class T>
struct is_unexpected : false_type {};
template <class E>
struct is_unexpected<unexpected<E>> : true_type {};
template <class E>
struct error_box {
    E e;
};
}  // namespace expected_detail

template <class T, class E>
class expected {
public:
    using value_type = T;
    using error_type = E;

    constexpr expected()
        requires is_default_constructible_v<T>
        : v_(in_place_index<0>) {}
    template <class U = T>
        requires(!is_same_v<remove_cvref_t<U>, expected> &&
                 !expected_detail::is_unexpected<remove_cvref_t<U>>::value && is_constructible_v<T, U>)
    constexpr expected(U&& u) : v_(in_place_index<0>, std::forward<U>(u)) {}
    template <class G>
    constexpr expected(const unexpected<G>& u) : v_(in_place_index<1>, expected_detail::error_box<E>{E(u.error())}) {}
    template <class G>
    constexpr expected(unexpected<G>&& u)
        : v_(in_place_index<1>, expected_detail::error_box<E>{E(std::move(u).error())}) {}

    constexpr bool has_value() const noexcept { return v_.index() == 0; }
    constexpr explicit operator bool() const noexcept { return has_value(); }
    constexpr T& operator*() & { return std::get<0>(v_); }
    constexpr const T& operator*() const& { return std::get<0>(v_); }
    constexpr T&& operator*() && { return std::move(std::get<0>(v_)); }
    constexpr T* operator->() { return &std::get<0>(v_); }
    constexpr const T* operator->() const { return &std::get<0>(v_); }
    constexpr T& value() & { return std::get<0>(v_); }
    constexpr const T& value() const& { return std::get<0>(v_); }
    constexpr E& error() & { return std::get<1>(v_).e; }
    constexpr const E& error() const& { return std::get<1>(v_).e; }
    constexpr E&& error() && { return std::move(std::get<1>(v_).e); }

private:
    variant<T, expected_detail::error_box<E>> v_;
};

template <class E>
class expected<void, E> {
public:
    using value_type = void;
    using error_type = E;

    constexpr expected() : v_(in_place_index<0>) {}
    template <class G>
    constexpr expected(const unexpected<G>& u) : v_(in_place_index<1>, expected_detail::error_box<E>{E(u.error())}) {}
    template <class G>
    constexpr expected(unexpected<G>&& u)
        : v_(in_place_index<1>, expected_detail::error_box<E>{E(std::move(u).error())}) {}

    constexpr bool has_value() const noexcept { return v_.index() == 0; }
    constexpr explicit operator bool() const noexcept { return has_value(); }
    constexpr void operator*() const noexcept {}
    constexpr E& error() & { return std::get<1>(v_).e; }
    constexpr const E& error() const& { return std::get<1>(v_).e; }
    constexpr E&& error() && { return std::move(std::get<1>(v_).e); }

private:
    variant<monostate, expected_detail::error_box<E>> v_;
};

}  // namespace std
#endif
