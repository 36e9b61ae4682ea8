// The expansion service's record (see host/expansion.h).
#include "host/expansion.h"

#include <furi.h>

#include <mutex>

#include "core/fatal.h"
#include "host/kernel.h"
#include "host/runtime.h"

namespace {
constexpr const char* kRecord = "expansion"; // RECORD_EXPANSION of the 86.0 SDK
}

struct Expansion {
    mutable std::mutex mutex;
    bool enabled = true;
    std::uint32_t disables = 0;
};

namespace host {

ExpansionService::ExpansionService(Runtime& runtime)
    : state_(new Expansion) {
    (void)runtime;
    furi_record_create(kRecord, state_);
}

ExpansionService::~ExpansionService() {
    if(!host::record_destroy(kRecord))
        host::fatal("ExpansionService: the \"expansion\" record is still open");
    delete state_;
}

bool ExpansionService::enabled() const {
    std::lock_guard lock(state_->mutex);
    return state_->enabled;
}

std::uint32_t ExpansionService::disable_count() const {
    std::lock_guard lock(state_->mutex);
    return state_->disables;
}

void ExpansionService::enable(Expansion* instance) {
    if(instance == nullptr) host::fatal("expansion_enable: instance is null (furi_check failed)");
    {
        std::lock_guard lock(instance->mutex);
        instance->enabled = true;
    }
    FURI_LOG_D("Expansion", "listening on the USART");
}

void ExpansionService::disable(Expansion* instance) {
    if(instance == nullptr) host::fatal("expansion_disable: instance is null (furi_check failed)");
    {
        std::lock_guard lock(instance->mutex);
        instance->enabled = false;
        ++instance->disables;
    }
    FURI_LOG_D("Expansion", "disabled");
}

} // namespace host
