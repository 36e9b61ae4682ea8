#pragma once
// The integer an app passed for an enumeration parameter, read without treating it as one of the
// enumerators. A value outside them (a bad argument the runtime refuses) may not even be loaded
// as the enumeration type in C++, so checks read it through this.
#include <cstring>
#include <type_traits>

namespace host {

template <typename E>
std::underlying_type_t<E> raw_enum(const E& value) {
    static_assert(std::is_enum_v<E>);
    std::underlying_type_t<E> raw;
    std::memcpy(&raw, &value, sizeof raw);
    return raw;
}

} // namespace host
