#pragma once
// Values between the guest's AAPCS world and the runtime's C++ functions.
//
// An import call arrives as words (r0-r3, then the caller's stack); Marshal<T>::from turns a
// word into the host value of parameter type T, Marshal<T>::ret the host result into r0 (r1).
// A callback from the runtime into the guest goes the other way: Marshal<T>::push adds a host
// argument's words to a GuestCall, Marshal<T>::result turns r0 back into the host's result.
//
// The rules: integers and enums are one word (64-bit ones two, which the generated bridges pass
// through arg64); pointers go through the machine's one bijective rule (NULL, guest memory,
// handles); a function pointer from the guest becomes a trampoline bound to it (or the
// runtime's own function when the guest passes an import); types the device lays out
// differently or that hold pointers have marshallers of their own below and in types.cpp.

#include <array>
#include <tuple>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "machine.h"

namespace fap {

/// An import call in progress: the guest's argument words and where the result goes.
struct Call {
    Machine& m;
    Cpu& cpu;
    const ApiEntry& entry;
    std::array<std::uint32_t, 4> r{};
    GuestAddr sp = 0;
    std::uint32_t result[2] = {0, 0};
    bool has_result = false;

    /// Argument word `i` (0-3 in registers, then on the stack).
    std::uint32_t word(int i) const;
    std::uint64_t dword(int i) const {
        return static_cast<std::uint64_t>(word(i)) | (static_cast<std::uint64_t>(word(i + 1)) << 32);
    }
    void ret(std::uint32_t r0) {
        result[0] = r0;
        has_result = true;
    }
    void ret64(std::uint64_t v) {
        result[0] = static_cast<std::uint32_t>(v);
        result[1] = static_cast<std::uint32_t>(v >> 32);
        has_result = true;
    }
};

template <class T, class = void>
struct Marshal;

// --- integers, enums, bool ------------------------------------------------------------------
template <class T>
struct Marshal<T, std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>> {
    static T from(Call& c, int slot) { return convert(c.word(slot)); }
    static T convert(std::uint32_t w) {
        if constexpr(std::is_same_v<T, bool>) {
            return (w & 0xFF) != 0;
        } else if constexpr(std::is_enum_v<T>) {
            return static_cast<T>(static_cast<std::int32_t>(w));
        } else if constexpr(std::is_signed_v<T>) {
            return static_cast<T>(static_cast<std::int32_t>(w));
        } else {
            return static_cast<T>(w);
        }
    }
    static void ret(Call& c, T v) { c.ret(static_cast<std::uint32_t>(v)); }
    static void push(Machine::GuestCall& g, T v) { g.word(static_cast<std::uint32_t>(v)); }
    static T result(Machine&, std::uint64_t r) { return convert(static_cast<std::uint32_t>(r)); }
};

/// 64-bit integers: two words, an even register pair or 8-aligned on the stack.
template <class T>
T from64(Call& c, int slot) {
    return static_cast<T>(c.dword(slot));
}

// --- pointers -------------------------------------------------------------------------------
template <class T>
struct Marshal<T*, std::enable_if_t<!std::is_function_v<T>>> {
    static T* from(Call& c, int slot) {
        return static_cast<T*>(c.m.to_host(c.word(slot), c.entry.name));
    }
    static void ret(Call& c, T* v) {
        c.ret(c.m.to_guest(const_cast<std::remove_cv_t<T>*>(v)));
    }
    static void push(Machine::GuestCall& g, T* v) {
        g.word(g.machine().to_guest(const_cast<std::remove_cv_t<T>*>(v)));
    }
    static T* result(Machine& m, std::uint64_t r) {
        return static_cast<T*>(m.to_host(static_cast<GuestAddr>(r), "a callback's result"));
    }
};

/// Strings: the guest's must end in its memory; the runtime's are copied into guest memory.
template <>
struct Marshal<const char*> {
    static const char* from(Call& c, int slot) {
        return c.m.string_to_host(c.word(slot), c.entry.name);
    }
    static void ret(Call& c, const char* v) { c.ret(c.m.string_to_guest(v)); }
    static void push(Machine::GuestCall& g, const char* v) {
        if(v == nullptr || g.machine().memory().owns_host(v)) {
            g.word(g.machine().to_guest(v));
        } else {
            g.word(g.push(v, static_cast<std::uint32_t>(std::strlen(v) + 1)));
        }
    }
};
template <>
struct Marshal<char*> {
    static char* from(Call& c, int slot) {
        return static_cast<char*>(c.m.to_host(c.word(slot), c.entry.name));
    }
    static void ret(Call& c, char* v) { c.ret(c.m.string_to_guest(v)); }
};

// --- function pointers: trampolines ---------------------------------------------------------
template <class R, class... A>
struct Trampolines {
    static constexpr std::size_t kCount = 128;

    template <std::size_t I>
    static R enter(A... args) {
        Machine* m = Machine::current();
        const GuestAddr fn = m->trampoline_target(id(), I);
        Machine::GuestCall call = m->begin_call();
        (Marshal<A>::push(call, args), ...);
        const std::uint64_t r = m->finish_call(call, fn);
        if constexpr(std::is_void_v<R>) {
            (void)r;
        } else {
            return Marshal<R>::result(*m, r);
        }
    }
    template <std::size_t... I>
    static constexpr std::array<const void*, kCount> make(std::index_sequence<I...>) {
        return {reinterpret_cast<const void*>(&enter<I>)...};
    }
    static const std::array<const void*, kCount>& table() {
        static const std::array<const void*, kCount> t = make(std::make_index_sequence<kCount>{});
        return t;
    }
    static const void* id() { return &table(); }
};

template <class R, class... A>
struct Marshal<R (*)(A...)> {
    using F = R (*)(A...);
    static F to_host(Machine& m, GuestAddr fn) {
        using T = Trampolines<R, A...>;
        return reinterpret_cast<F>(const_cast<void*>(
            m.host_function_for(fn, T::table().data(), T::kCount, T::id())));
    }
    static F from(Call& c, int slot) { return to_host(c.m, c.word(slot)); }
    static void ret(Call& c, F f) { c.ret(c.m.guest_function_of(reinterpret_cast<const void*>(f))); }
    static void push(Machine::GuestCall& g, F f) {
        g.word(g.machine().guest_function_of(reinterpret_cast<const void*>(f)));
    }
};

// --- structs by value -----------------------------------------------------------------------
/// A struct of plain 32-bit words (the same bytes on both sides), passed in as many words.
template <class T>
struct WordStruct {
    static_assert(sizeof(T) % 4 == 0);
    static constexpr int kWords = sizeof(T) / 4;
    static T from(Call& c, int slot) {
        std::uint32_t w[kWords];
        for(int i = 0; i < kWords; ++i) w[i] = c.word(slot + i);
        T v;
        std::memcpy(&v, w, sizeof v);
        return v;
    }
    static void push(Machine::GuestCall& g, const T& v) {
        std::uint32_t w[kWords];
        std::memcpy(w, &v, sizeof v);
        for(int i = 0; i < kWords; ++i) g.word(w[i]);
    }
    /// A result bigger than a word goes through the pointer the caller passed in r0.
    static void ret(Call& c, const T& v) {
        std::uint8_t* out = static_cast<std::uint8_t*>(c.m.to_host(c.word(0), c.entry.name));
        if(!c.m.memory().owns_host(out)) c.m.fault("bad pointer", std::string(c.entry.name) + ": result pointer");
        std::memcpy(out, &v, sizeof v);
        c.ret(c.word(0));
    }
};

// --- the bridges' driver --------------------------------------------------------------------
/// Where a parameter's words are: the first word's index and 1 or 2 words.
struct Slot {
    int index;
    int words = 1;
    bool wide = false; // a 64-bit integer
};

enum class Ret { Void, Word, DWord, Indirect };

template <class F>
struct Signature;
template <class R, class... A>
struct Signature<R (*)(A...)> {
    using Result = R;
    using Args = std::tuple<A...>;
};

template <class T, Slot S>
decltype(auto) take(Call& c) {
    using U = std::remove_cv_t<T>;
    if constexpr(S.wide) {
        return from64<U>(c, S.index);
    } else {
        return Marshal<U>::from(c, S.index);
    }
}

/// Calls F with its arguments from the guest's words at `slots`, and returns its result.
template <auto F, Ret R, Slot... S>
void invoke(Call& c) {
    using Sig = Signature<decltype(F)>;
    using Result = typename Sig::Result;
    auto call = [&]<std::size_t... I>(std::index_sequence<I...>) -> decltype(auto) {
        return F(take<std::tuple_element_t<I, typename Sig::Args>, S>(c)...);
    };
    constexpr auto seq = std::make_index_sequence<sizeof...(S)>{};
    if constexpr(std::is_void_v<Result>) {
        call(seq);
    } else if constexpr(R == Ret::DWord) {
        c.ret64(static_cast<std::uint64_t>(call(seq)));
    } else {
        Marshal<std::remove_cv_t<Result>>::ret(c, call(seq));
    }
}

} // namespace fap
