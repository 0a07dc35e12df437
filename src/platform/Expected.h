#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace vesk {

// The one way an operation that can fail reports it: a value or an error, in the shape of
// C++23's std::expected (which our C++20 toolchain lacks).
template <typename E>
struct Unexpected {
    E error;
};

template <typename E>
Unexpected<std::decay_t<E>> unexpected(E&& error)
{
    return {std::forward<E>(error)};
}

template <typename T, typename E>
class [[nodiscard]] Expected {
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    template <typename G>
    Expected(Unexpected<G> failure) : m_state(std::in_place_index<1>, E(std::move(failure.error))) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { assert(hasValue()); return std::get<0>(m_state); }
    const T& value() const& { assert(hasValue()); return std::get<0>(m_state); }
    T&& value() && { assert(hasValue()); return std::get<0>(std::move(m_state)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { assert(!hasValue()); return std::get<1>(m_state); }

    template <typename U>
    T valueOr(U&& fallback) const { return hasValue() ? value() : T(std::forward<U>(fallback)); }

private:
    std::variant<T, E> m_state;
};

// For operations that give nothing back on success.
template <typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template <typename G>
    Expected(Unexpected<G> failure) : m_error(E(std::move(failure.error))), m_failed(true) {}

    bool hasValue() const { return !m_failed; }
    explicit operator bool() const { return hasValue(); }
    const E& error() const { assert(m_failed); return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};

} // namespace vesk
