#include <furi.h>
#include <furi_hal.h>

#include "core/internals.h"
#include "host/runtime.h"

extern "C" {

bool furi_hal_power_enable_otg(void) {
    auto& runtime = host::Runtime::current();
    if(!runtime.otg_enabled()) runtime.count_otg_switch();
    runtime.set_otg(true);
    return true;
}

void furi_hal_power_disable_otg(void) {
    auto& runtime = host::Runtime::current();
    if(runtime.otg_enabled()) runtime.count_otg_switch();
    runtime.set_otg(false);
}

bool furi_hal_power_is_otg_enabled(void) {
    return host::Runtime::current().otg_enabled();
}

FuriHalCortexTimer furi_hal_cortex_timer_get(uint32_t timeout_us) {
    return FuriHalCortexTimer{host::Runtime::current().cycle_counter(), timeout_us * 64u};
}

bool furi_hal_cortex_timer_is_expired(FuriHalCortexTimer cortex_timer) {
    return host::Runtime::current().cycle_counter() - cortex_timer.start >= cortex_timer.value;
}

void furi_hal_cortex_timer_wait(FuriHalCortexTimer cortex_timer) {
    const std::uint32_t elapsed = host::Runtime::current().cycle_counter() - cortex_timer.start;
    if(elapsed >= cortex_timer.value) return;
    const std::uint64_t remaining_cycles = cortex_timer.value - elapsed;
    auto& scheduler = host::sched();
    scheduler.busy_wait_until(
        scheduler.now() + (remaining_cycles * host::kSecond + host::kCpuHz - 1) / host::kCpuHz);
}

void furi_hal_cortex_delay_us(uint32_t microseconds) {
    furi_delay_us(microseconds);
}

uint32_t furi_hal_cortex_instructions_per_microsecond(void) {
    return 64;
}

} // extern "C"
