#include "uhf_worker.h"

#include <furi.h>

#include <stdlib.h>

namespace {

constexpr const char* kThreadName = "UHFWorker";
constexpr uint32_t kStackSize = 8192;
constexpr const char* kLogTag = "wkr";
// Between two polls; the poll's own reply wait comes on top, so one pass takes 200 ms.
constexpr uint32_t kPollPauseMs = 100;
// A bank read starts at 5 words and asks for one more after every success.
constexpr uint16_t kFirstReadWords = 5;
// Unanswered reads one bank's loop tolerates in all; a success does not restore them.
constexpr uint8_t kNoTagBudget = 3;
constexpr uint16_t kTidCapacityWords = UHF_TAG_TID_CAPACITY / 2;
constexpr uint16_t kUserCapacityWords = UHF_TAG_USER_CAPACITY / 2;

uint8_t load_state(const UHFWorker* worker) {
    return __atomic_load_n(&worker->state, __ATOMIC_RELAXED);
}

bool stop_requested(const UHFWorker* worker) {
    return load_state(worker) == UHFWorkerStateStop;
}

/** What a job reports when polling gave no tag: a stop, or a tag record that could not be
 *  allocated. The flag cannot go back from Stop while a job runs, so reading it again is safe. */
UHFWorkerEvent polling_failed(const UHFWorker* worker) {
    return stop_requested(worker) ? UHFWorkerEventAborted : UHFWorkerEventFail;
}

/** One bank's loop: the tag keeps the data of the last successful read. A read of the record's
 *  full capacity ends the loop, since one word more would not fit. False when stopped. */
bool read_bank(UHFWorker* worker, UHFTag* tag, BankType bank, uint16_t capacity_words) {
    uint16_t words = kFirstReadWords;
    uint8_t budget = kNoTagBudget;
    while(true) {
        if(stop_requested(worker)) return false;
        const M100ResponseType result =
            m100_read_label_data_storage(worker->module, tag, bank, 0, words);
        if(result == M100SuccessResponse) {
            if(words >= capacity_words) return true;
            words++;
        } else if(result == M100NoTagResponse) {
            if(--budget == 0) return true;
        } else {
            // The tag's own refusal (past the bank's end, locked) or a reply we cannot use.
            return true;
        }
    }
}

} // namespace

UHFWorker* uhf_worker_alloc(void) {
    UHFWorker* worker = static_cast<UHFWorker*>(malloc(sizeof(UHFWorker)));
    if(!worker) return nullptr;
    worker->thread = furi_thread_alloc_ex(kThreadName, kStackSize, uhf_worker_task, worker);
    worker->module = m100_module_alloc();
    if(!worker->module) {
        furi_thread_free(worker->thread);
        free(worker);
        return nullptr;
    }
    worker->callback = nullptr;
    worker->state = 0;
    worker->uhf_tag_wrapper = nullptr;
    worker->ctx = nullptr;
    return worker;
}

void uhf_worker_start(
    UHFWorker* worker,
    UHFWorkerState state,
    UHFWorkerCallback callback,
    void* ctx) {
    furi_check(worker);
    // The thread is stopped, so nothing reads these yet; starting it publishes them.
    worker->ctx = ctx;
    __atomic_store_n(&worker->state, (uint8_t)state, __ATOMIC_RELAXED);
    worker->callback = callback;
    furi_thread_start(worker->thread);
}

void uhf_worker_stop(UHFWorker* worker) {
    furi_check(worker);
    if(furi_thread_get_state(worker->thread) == FuriThreadStateStopped) return;
    uhf_worker_request_stop(worker);
    furi_thread_join(worker->thread);
}

void uhf_worker_free(UHFWorker* worker) {
    furi_check(worker);
    furi_thread_free(worker->thread);
    m100_module_free(worker->module);
    free(worker);
}

int32_t uhf_worker_task(void* context) {
    UHFWorker* worker = static_cast<UHFWorker*>(context);
    UHFWorkerEvent event;
    switch(load_state(worker)) {
    case UHFWorkerStateVerify:
        event = verify_module_connected(worker);
        break;
    case UHFWorkerStateDetectSingle:
        event = read_single_card(worker);
        break;
    case UHFWorkerStateWriteSingle:
        event = write_single_card(worker);
        break;
    default:
        return 0;
    }
    if(worker->callback) worker->callback(event, worker->ctx);
    return 0;
}

UHFWorkerEvent verify_module_connected(UHFWorker* worker) {
    // All three go out whatever the first ones gave, so the screen can show each answer.
    const bool hardware = m100_get_hardware_version(worker->module) != nullptr;
    const bool software = m100_get_software_version(worker->module) != nullptr;
    const bool manufacturer = m100_get_manufacturers(worker->module) != nullptr;
    return hardware && software && manufacturer ? UHFWorkerEventSuccess : UHFWorkerEventFail;
}

UHFTag* send_polling_command(UHFWorker* worker) {
    UHFTag* tag = uhf_tag_alloc();
    if(!tag) return nullptr;
    while(true) {
        const M100ResponseType result = m100_send_single_poll(worker->module, tag);
        furi_delay_ms(kPollPauseMs);
        // The stop wins over a tag that answered in the same pass.
        if(stop_requested(worker)) {
            uhf_tag_free(tag);
            return nullptr;
        }
        if(result == M100SuccessResponse) return tag;
    }
}

UHFWorkerEvent read_single_card(UHFWorker* worker) {
    furi_check(worker->uhf_tag_wrapper);
    UHFTag* tag = send_polling_command(worker);
    if(!tag) return polling_failed(worker);
    // The holder owns the tag from here on; the job fills it in place.
    uhf_tag_wrapper_set_tag(worker->uhf_tag_wrapper, tag);
    if(m100_set_select(worker->module, tag) != M100SuccessResponse) return UHFWorkerEventFail;
    if(!read_bank(worker, tag, TIDBank, kTidCapacityWords)) return UHFWorkerEventAborted;
    if(!read_bank(worker, tag, UserBank, kUserCapacityWords)) return UHFWorkerEventAborted;
    return UHFWorkerEventSuccess;
}

UHFWorkerEvent write_single_card(UHFWorker* worker) {
    furi_check(worker->uhf_tag_wrapper);
    // The tag to write (loaded from a file), taken once for every attempt. The GUI thread leaves
    // the holder alone while a job runs, so taking it before the poll is the same as after it.
    UHFTag* source = worker->uhf_tag_wrapper->uhf_tag;
    if(!source) return UHFWorkerEventFail;

    UHFTag* target = send_polling_command(worker);
    if(!target) return polling_failed(worker);
    furi_log_print_format(FuriLogLevelError, kLogTag, "read success");

    const M100ResponseType selected = m100_set_select(worker->module, target);
    // The polled tag only names the tag to address; the select holds its EPC now.
    uhf_tag_free(target);
    if(selected != M100SuccessResponse) return UHFWorkerEventFail;
    furi_log_print_format(FuriLogLevelError, kLogTag, "set select success");

    while(true) {
        const M100ResponseType result =
            m100_write_label_data_storage(worker->module, source, EPCBank, 0, 0);
        furi_log_print_format(FuriLogLevelError, kLogTag, "try to write %d", (int)result);
        // A stop in the pass of a successful write still reports the stop.
        if(stop_requested(worker)) return UHFWorkerEventAborted;
        if(result == M100SuccessResponse) return UHFWorkerEventSuccess;
    }
}
