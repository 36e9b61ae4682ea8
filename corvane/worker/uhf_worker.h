#pragma once
// The background worker: one thread, "UHFWorker", that runs one module job per start (check the
// module, read a tag, write a tag) and reports its result once through a callback, so that the
// screens never wait for the module themselves.
//
// Stop protocol. `state` is the one value both threads touch while a job runs: the GUI thread
// writes UHFWorkerStateStop into it, the job reads it at its check points (polling: after every
// pause; read job: before every bank read; write job: after every write attempt; the verify job
// has none). It is a single byte and takes no lock. Every access while the thread may run is a
// relaxed one-byte __atomic access, which is a plain byte load or store on the Cortex-M4 and
// keeps the host's ThreadSanitizer informed. Code outside the worker that wants to stop a job
// without waiting for it writes the flag with uhf_worker_request_stop(), never with a plain
// assignment; uhf_worker_stop() writes it and then joins the thread.

#include <furi.h>

#include <stdint.h>

#include "../module/m100.h"
#include "../tag/uhf_tag.h"

/** The job a start selects, and the stop request. Stored in the worker's one-byte `state`. */
enum UHFWorkerState {
    UHFWorkerStateVerify = 3,       // verify_module_connected
    UHFWorkerStateDetectSingle = 4, // read_single_card
    UHFWorkerStateWriteSingle = 5,  // write_single_card
    UHFWorkerStateStop = 7,         // a running read or write job ends at its next check point
};

/** A job's result, handed to the callback. */
enum UHFWorkerEvent {
    UHFWorkerEventSuccess = 0, // the job did its work
    UHFWorkerEventFail = 1,    // verify: a query went unanswered; read/write: no select, no tag
    UHFWorkerEventAborted = 3, // a stop request ended the job
};

/** Called once per job, on the worker thread, with the job's result and the start's context. */
typedef void (*UHFWorkerCallback)(UHFWorkerEvent event, void* ctx);

struct UHFWorker {
    FuriThread* thread;             // "UHFWorker", 8192-byte stack, entry uhf_worker_task; owned
    M100Module* module;             // the reader-module handle; owned
    UHFWorkerCallback callback;     // set by every start
    uint8_t state;                  // UHFWorkerState of the job, or UHFWorkerStateStop; see above
    UHFTagWrapper* uhf_tag_wrapper; // the application's tag holder; not owned, set by the owner
    void* ctx;                      // handed to the callback; set by every start
};

/** A worker with a stopped thread and a module handle; callback, context and holder null, state
 *  0. Null when out of memory. */
UHFWorker* uhf_worker_alloc(void);

/** Stores the context, the state's low 8 bits and the callback, then starts the thread. The
 *  thread must be stopped: stop the worker first whenever a job may still run. */
void uhf_worker_start(
    UHFWorker* worker,
    UHFWorkerState state,
    UHFWorkerCallback callback,
    void* ctx);

/** Nothing when the thread has already ended (`state` keeps the last job's value). Otherwise
 *  requests the stop and waits until the job, its callback included, has finished. */
void uhf_worker_stop(UHFWorker* worker);

/** Releases the thread, the module handle and the record; the holder is not touched. The worker
 *  must be stopped. */
void uhf_worker_free(UHFWorker* worker);

/** Asks a running read or write job to end at its next check point, without waiting for it. */
static inline void uhf_worker_request_stop(UHFWorker* worker) {
    __atomic_store_n(&worker->state, (uint8_t)UHFWorkerStateStop, __ATOMIC_RELAXED);
}

/** The thread's entry: runs the job that `state` names and reports it; any other value ends the
 *  thread at once without a callback. Always returns 0. */
int32_t uhf_worker_task(void* context);

/** Sends the three identity queries, always all three, and ignores stop requests: Success when
 *  every query was answered, else Fail. */
UHFWorkerEvent verify_module_connected(UHFWorker* worker);

/** Polls, one single inventory and a 100 ms pause per pass, until a tag answers or a stop is
 *  requested. Returns the new tag (the caller owns it), or null when stopped (the tag record is
 *  released) or when no tag record could be allocated. */
UHFTag* send_polling_command(UHFWorker* worker);

/** Polls a tag, hands it to the holder, selects it and reads its TID, then its USER bank, each by
 *  asking for one more word per read from 5 words up until the tag refuses, three reads go
 *  unanswered, or the record's capacity (8 TID words, 32 USER words) has been read. */
UHFWorkerEvent read_single_card(UHFWorker* worker);

/** Writes the held tag's EPC bank (StoredCRC, PC, EPC) to the tag that answers a poll, retrying
 *  until a write is accepted or a stop is requested. The polled tag only serves the select and
 *  is released. With an empty holder there is nothing to write: Fail, and nothing is sent. */
UHFWorkerEvent write_single_card(UHFWorker* worker);
