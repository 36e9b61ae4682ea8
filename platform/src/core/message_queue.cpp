#include <furi.h>

#include <cstring>
#include <vector>

#include "core/fatal.h"
#include "core/internals.h"

using host::sched;

struct FuriMessageQueue {
    std::uint32_t capacity;
    std::uint32_t message_size;
    std::vector<std::uint8_t> storage;
    std::uint32_t head = 0;
    std::uint32_t count = 0;
    host::WaitList getters;
    host::WaitList putters;

    FuriMessageQueue(std::uint32_t capacity_, std::uint32_t size_)
        : capacity(capacity_)
        , message_size(size_)
        , storage(std::size_t{capacity_} * size_) {}
};

namespace {

constexpr host::NotNull<FuriMessageQueue> checked_queue{"queue"};

void check_timeout_context(std::uint32_t timeout, const char* what) {
    if(timeout != 0 && host::Scheduler::in_interrupt()) {
        host::fatal("%s: only timeout 0 is allowed in interrupt context (got %u)", what, timeout);
    }
}

} // namespace

extern "C" {

FuriMessageQueue* furi_message_queue_alloc(uint32_t msg_count, uint32_t msg_size) {
    if(msg_count == 0 || msg_size == 0)
        host::fatal("furi_message_queue_alloc: count and size must be > 0");
    return host::make_tracked<FuriMessageQueue>(msg_count, msg_size);
}

void furi_message_queue_free(FuriMessageQueue* queue) {
    checked_queue(queue, "furi_message_queue_free");
    if(!queue->getters.empty() || !queue->putters.empty()) {
        host::fatal("furi_message_queue_free: a thread still waits on the queue");
    }
    host::destroy_tracked(queue);
}

FuriStatus furi_message_queue_put(FuriMessageQueue* queue, const void* msg, uint32_t timeout) {
    checked_queue(queue, "furi_message_queue_put");
    if(msg == nullptr) host::fatal("furi_message_queue_put: message is null");
    check_timeout_context(timeout, "furi_message_queue_put");
    const host::Nanos deadline = host::to_deadline(timeout);
    while(queue->count == queue->capacity) {
        if(timeout == 0) return FuriStatusErrorResource;
        if(!sched().block(&queue->putters, deadline)) {
            if(queue->count == queue->capacity) return FuriStatusErrorTimeout;
        }
    }
    const std::uint32_t tail = (queue->head + queue->count) % queue->capacity;
    std::memcpy(
        &queue->storage[std::size_t{tail} * queue->message_size], msg, queue->message_size);
    ++queue->count;
    sched().wake_one(queue->getters);
    sched().preempt_point();
    return FuriStatusOk;
}

FuriStatus furi_message_queue_get(FuriMessageQueue* queue, void* msg, uint32_t timeout) {
    checked_queue(queue, "furi_message_queue_get");
    if(msg == nullptr) host::fatal("furi_message_queue_get: message buffer is null");
    check_timeout_context(timeout, "furi_message_queue_get");
    const host::Nanos deadline = host::to_deadline(timeout);
    while(queue->count == 0) {
        if(timeout == 0) return FuriStatusErrorResource;
        if(!sched().block(&queue->getters, deadline)) {
            if(queue->count == 0) return FuriStatusErrorTimeout;
        }
    }
    std::memcpy(
        msg, &queue->storage[std::size_t{queue->head} * queue->message_size], queue->message_size);
    queue->head = (queue->head + 1) % queue->capacity;
    --queue->count;
    sched().wake_one(queue->putters);
    sched().preempt_point();
    return FuriStatusOk;
}

uint32_t furi_message_queue_get_capacity(FuriMessageQueue* queue) {
    return checked_queue(queue, "furi_message_queue_get_capacity")->capacity;
}

uint32_t furi_message_queue_get_message_size(FuriMessageQueue* queue) {
    return checked_queue(queue, "furi_message_queue_get_message_size")->message_size;
}

uint32_t furi_message_queue_get_count(FuriMessageQueue* queue) {
    return checked_queue(queue, "furi_message_queue_get_count")->count;
}

uint32_t furi_message_queue_get_space(FuriMessageQueue* queue) {
    checked_queue(queue, "furi_message_queue_get_space");
    return queue->capacity - queue->count;
}

FuriStatus furi_message_queue_reset(FuriMessageQueue* queue) {
    checked_queue(queue, "furi_message_queue_reset");
    if(host::Scheduler::in_interrupt()) return FuriStatusErrorISR;
    queue->head = 0;
    queue->count = 0;
    sched().wake_all(queue->putters);
    sched().preempt_point();
    return FuriStatusOk;
}

} // extern "C"
