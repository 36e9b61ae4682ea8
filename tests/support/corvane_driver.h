#pragma once
// Tests drive corvane through the simulator's session: the same presses, waits and checks a
// scenario file or a person at the terminal makes. With FSIM_TEST_FAP set to a package
// (dist/36.0/corvane.fap), every driver of the 36.0 build runs that package on the emulator
// instead, so the same cases check the program a Flipper owner installs.
#include <cstdlib>

#include "session/corvane_session.h"

namespace corvane_test {
using DriverOptions = sim::CorvaneSessionOptions;

inline DriverOptions with_test_package(DriverOptions options) {
    if(options.fap.empty() && options.api == sim::AppApi::V36) {
        if(const char* fap = std::getenv("FSIM_TEST_FAP"); fap != nullptr && *fap != '\0')
            options.fap = fap;
    }
    return options;
}

class Driver : public sim::CorvaneSession {
public:
    explicit Driver(DriverOptions options = {})
        : sim::CorvaneSession(with_test_package(std::move(options))) {}
};
} // namespace corvane_test
