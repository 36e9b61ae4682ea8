#include <furi.h>

#include "core/fatal.h"
#include "core/internals.h"
#include "host/kernel.h"

using host::internals;
using host::sched;

extern "C" {

bool furi_record_exists(const char* name) {
    if(name == nullptr) host::fatal("furi_record_exists: name is null");
    return internals().records.contains(name);
}

void furi_record_create(const char* name, void* data) {
    if(name == nullptr || data == nullptr)
        host::fatal("furi_record_create: name and data must not be null");
    auto& records = internals().records;
    if(records.contains(name))
        host::fatal("furi_record_create: record \"%s\" already exists", name);
    records[name] = host::Record{data, 0};
    sched().wake_all(internals().record_waiters);
    sched().preempt_point();
}

void* furi_record_open(const char* name) {
    if(name == nullptr) host::fatal("furi_record_open: name is null");
    host::Scheduler::require_thread("furi_record_open");
    auto& records = internals().records;
    // As on the device, opening waits until some service has created the record.
    while(!records.contains(name)) sched().block(&internals().record_waiters, host::kForever);
    auto& record = records[name];
    ++record.holders;
    return record.data;
}

void furi_record_close(const char* name) {
    if(name == nullptr) host::fatal("furi_record_close: name is null");
    auto& records = internals().records;
    auto it = records.find(name);
    if(it == records.end()) host::fatal("furi_record_close: record \"%s\" does not exist", name);
    if(it->second.holders == 0) host::fatal("furi_record_close: record \"%s\" is not open", name);
    --it->second.holders;
}

} // extern "C"

bool host::record_destroy(const char* name) {
    if(name == nullptr) host::fatal("record_destroy: name is null");
    auto& records = internals().records;
    auto it = records.find(name);
    if(it == records.end() || it->second.holders != 0) return false;
    records.erase(it);
    return true;
}
