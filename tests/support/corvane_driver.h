#pragma once
// Tests drive corvane through the simulator's session: the same presses, waits and checks a
// scenario file or a person at the terminal makes.
#include "session/corvane_session.h"

namespace corvane_test {
using Driver = sim::CorvaneSession;
using DriverOptions = sim::CorvaneSessionOptions;
} // namespace corvane_test
