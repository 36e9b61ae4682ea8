#pragma once
#include <cstdint>

// The runtime's one source of randomness (random default names, ...). It is a seeded generator,
// not entropy: the same seed gives the same sequence, so tests and screenshots are reproducible.
// A process starts with kDefaultSeed; a new Runtime or a test may reseed it.
namespace host::random {

inline constexpr std::uint64_t kDefaultSeed = 0x5EED'C0DE'F11Bull;

/// Restarts the sequence from seed.
void seed(std::uint64_t value = kDefaultSeed);
/// The next 64 random bits.
std::uint64_t next();
/// A number in [0, bound); bound 0 gives 0.
std::uint32_t below(std::uint32_t bound);

} // namespace host::random
