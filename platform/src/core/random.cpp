// splitmix64: tiny, fast and good enough for names and test data; not for anything secret.
#include "host/random.h"

#include <mutex>

namespace host::random {
namespace {

struct Generator {
    std::mutex mutex;
    std::uint64_t state = kDefaultSeed;
};

Generator& generator() {
    static Generator instance;
    return instance;
}

} // namespace

void seed(std::uint64_t value) {
    Generator& g = generator();
    const std::lock_guard lock{g.mutex};
    g.state = value;
}

std::uint64_t next() {
    Generator& g = generator();
    const std::lock_guard lock{g.mutex};
    std::uint64_t z = (g.state += 0x9E37'79B9'7F4A'7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58'476D'1CE4'E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D0'49BB'1331'11EBull;
    return z ^ (z >> 31);
}

std::uint32_t below(std::uint32_t bound) {
    if(bound == 0) return 0;
    // Multiply-shift keeps the bias negligible for the small bounds used here.
    return static_cast<std::uint32_t>(((next() >> 32) * bound) >> 32);
}

} // namespace host::random
