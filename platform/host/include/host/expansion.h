#pragma once
// The expansion service of API 86.0: the record "expansion", which the firmware uses to listen on
// the USART for an expansion module. An app that takes the USART (or its pins) disables it first
// and enables it once done; the service keeps whether it listens, so a test can see that.
// expansion_enable and expansion_disable are in platform/src/api86/ (the 86.0 SDK declares them).
//
//     host::ExpansionService expansion(runtime);   // for an 86.0 app; 36.x has no such record
//     ... run the app ...
//     EXPECT_TRUE(expansion.enabled());

#include <cstdint>

/// The record's object (opaque to apps).
struct Expansion;

namespace host {

class Runtime;

class ExpansionService {
public:
    /// Creates the record, listening (as a user's settings have it by default).
    explicit ExpansionService(Runtime& runtime);
    ~ExpansionService();
    ExpansionService(const ExpansionService&) = delete;
    ExpansionService& operator=(const ExpansionService&) = delete;

    /// Whether the service listens on the USART.
    bool enabled() const;
    /// How often an app disabled it.
    std::uint32_t disable_count() const;

    // The C API's implementation.
    static void enable(Expansion* instance);
    static void disable(Expansion* instance);

private:
    Expansion* state_;
};

} // namespace host
