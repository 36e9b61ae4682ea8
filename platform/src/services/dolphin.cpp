// Dolphin deeds: kept in order by the host's dolphin service for tests to read.

#include <dolphin/dolphin.h>

#include <furi.h>

#include <mutex>
#include <vector>

#include "core/fatal.h"
#include "core/raw_enum.h"
#include "host/dolphin.h"
#include "host/runtime.h"

struct host::DolphinService::State {
    mutable std::mutex mutex;
    std::vector<DeedRecord> records;
};

extern "C" void dolphin_deed(DolphinDeed deed) {
    if(const auto raw = host::raw_enum(deed); raw >= DolphinDeedMAX)
        host::fatal("dolphin_deed: deed %d is out of range", static_cast<int>(raw));
    FURI_LOG_D("Dolphin", "deed %d", deed);
    if(!furi_record_exists(RECORD_DOLPHIN)) return;
    auto* state = static_cast<host::DolphinService::State*>(furi_record_open(RECORD_DOLPHIN));
    {
        std::lock_guard lock(state->mutex);
        state->records.push_back({host::Runtime::current().now(), deed});
    }
    furi_record_close(RECORD_DOLPHIN);
}

namespace host {

DolphinService::DolphinService(Runtime& runtime)
    : state_(new State) {
    (void)runtime;
    furi_record_create(RECORD_DOLPHIN, state_);
}

DolphinService::~DolphinService() {
    if(!host::record_destroy(RECORD_DOLPHIN))
        host::fatal("DolphinService: the \"dolphin\" record is still open");
    delete state_;
}

std::vector<DolphinDeed> DolphinService::deeds() const {
    std::lock_guard lock(state_->mutex);
    std::vector<DolphinDeed> result;
    for(const auto& record : state_->records) result.push_back(record.deed);
    return result;
}

std::vector<DeedRecord> DolphinService::records() const {
    std::lock_guard lock(state_->mutex);
    return state_->records;
}

void DolphinService::clear() {
    std::lock_guard lock(state_->mutex);
    state_->records.clear();
}

} // namespace host
