#pragma once
// Shared set-up of the worker tests: a runtime with the 5 V output on, the virtual YRM100, a
// worker with an empty tag holder, a callback that records what it was told and where, and leak
// checks both after each job and when the test ends.
//
// Timing the tests rely on: every module exchange takes exactly 100 ms of virtual time, a poll
// pass 200 ms (exchange plus pause), so a read job spends 200 ms polling a tag that is there,
// 100 ms selecting it and 100 ms per bank read.

#include <gtest/gtest.h>

#include <furi.h>
#include <furi_hal.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/yrm100.h"
#include "example_tag.h"
#include "host/memory.h"
#include "host/runtime.h"
#include "worker/uhf_worker.h"

namespace worker_test {

using Bytes = std::vector<std::uint8_t>;
using sim::yrm100::Bank;
using sim::yrm100::TagSpec;

// The EPC of the published examples; with User memory its PC is 3400 and CRC 3A76.
using test_support::kExampleEpc;

/// `words` words of recognisable data: bytes first, first + 1, ...
inline Bytes pattern(std::size_t words, std::uint8_t first) {
    Bytes bytes(2 * words);
    for(std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

inline TagSpec tag_spec(std::size_t tid_words, std::size_t user_words) {
    TagSpec spec;
    spec.epc = kExampleEpc;
    spec.tid = pattern(tid_words, 0xE2);
    spec.user = pattern(user_words, 0x10);
    return spec;
}

inline Bytes bytes_of(const std::uint8_t* data, std::size_t size) {
    return Bytes(data, data + size);
}

/// A model tag's EPC bank (StoredCRC, PC, EPC) against a record's.
inline void expect_same_epc(const sim::yrm100::VirtualTag& expected, UHFTag* tag) {
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(bytes_of(uhf_tag_get_epc(tag), uhf_tag_get_epc_size(tag)), expected.epc());
    EXPECT_EQ(uhf_tag_get_epc_pc(tag), expected.pc());
    EXPECT_EQ(uhf_tag_get_epc_crc(tag), expected.stored_crc());
}

struct Outcome {
    std::vector<UHFWorkerEvent> events;
    std::vector<std::string> threads; // where each callback ran
    host::Nanos at = 0;               // virtual time of the last callback
};

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        baseline_ = live();
        furi_hal_console_disable(); // as the app does while it owns USART1
        furi_hal_power_enable_otg();
        UHFTag* probe = uhf_tag_alloc();
        ASSERT_NE(probe, nullptr);
        tag_blocks_ = live() - baseline_;
        uhf_tag_free(probe);
        worker_ = uhf_worker_alloc();
        ASSERT_NE(worker_, nullptr);
        holder_ = uhf_tag_wrapper_alloc();
        ASSERT_NE(holder_, nullptr);
        worker_->uhf_tag_wrapper = holder_;
        idle_blocks_ = live();
    }

    void TearDown() override {
        if(worker_) {
            uhf_worker_stop(worker_);
            uhf_worker_free(worker_);
        }
        if(holder_) uhf_tag_wrapper_free(holder_);
        EXPECT_EQ(live(), baseline_) << "device code leaked";
    }

    static std::size_t live() { return host::memory::stats().live_blocks; }

    static void record(UHFWorkerEvent event, void* ctx) {
        auto* outcome = static_cast<Outcome*>(ctx);
        outcome->events.push_back(event);
        outcome->threads.emplace_back(furi_thread_get_name(furi_thread_get_current_id()));
        outcome->at = host::Runtime::current().now();
    }

    /// Starts a job; the outcome of the previous run is forgotten.
    void start(UHFWorkerState state) {
        outcome_ = Outcome{};
        started_at_ = rt_.now();
        busy_at_start_ = rt_.uart(FuriHalUartIdUSART1).sender_busy();
        uhf_worker_start(worker_, state, record, &outcome_);
    }
    /// Lets the job run to its own end.
    void finish() { furi_thread_join(worker_->thread); }
    /// Requests the stop `ms` of virtual time after the start; returns when uhf_worker_stop does.
    void stop_after(std::uint32_t ms) {
        const host::Nanos at = started_at_ + host::ms(ms);
        ASSERT_GE(at, rt_.now());
        furi_delay_ms(static_cast<std::uint32_t>((at - rt_.now()) / host::kMillisecond));
        uhf_worker_stop(worker_);
    }
    /// The job's time apart from sending its frames: furi_hal_uart_tx busy-waits (size - 1) byte
    /// times per frame, as on the device, so these durations count whole exchanges.
    host::Nanos elapsed() {
        return rt_.now() - started_at_ -
               (rt_.uart(FuriHalUartIdUSART1).sender_busy() - busy_at_start_);
    }

    /// The callback ran once, on the worker's thread, with `event`.
    void expect_reported(UHFWorkerEvent event) {
        EXPECT_EQ(outcome_.events, std::vector<UHFWorkerEvent>{event});
        EXPECT_EQ(outcome_.threads, std::vector<std::string>{"UHFWorker"});
    }

    /// Nothing is allocated beyond the idle worker, the held tag and the identity strings.
    void expect_no_leak() {
        std::size_t expected = idle_blocks_ + (holder_->uhf_tag ? tag_blocks_ : 0);
        const M100ModuleInfo* info = worker_->module->info;
        for(const char* text : {info->hw_version, info->sw_version, info->manufacturer}) {
            if(text) expected++;
        }
        EXPECT_EQ(live(), expected);
    }

    /// Command codes of the requests the model received since `from`.
    std::vector<std::uint8_t> commands(std::size_t from = 0) const {
        std::vector<std::uint8_t> codes;
        const auto& requests = model_.requests();
        for(std::size_t i = from; i < requests.size(); ++i) codes.push_back(requests[i].command);
        return codes;
    }
    /// Word counts of the reads of `bank`, in order.
    std::vector<unsigned> reads_of(Bank bank) const {
        std::vector<unsigned> counts;
        for(const auto& request : model_.requests()) {
            if(request.command == sim::yrm100::kCmdRead && request.bank == bank) {
                counts.push_back(request.count);
            }
        }
        return counts;
    }

    /// A tag as the file loader leaves it in the holder.
    UHFTag* hold_loaded_tag(const Bytes& epc, std::uint16_t pc) {
        UHFTag* tag = uhf_tag_alloc();
        uhf_tag_set_epc(tag, epc.data(), epc.size());
        uhf_tag_set_epc_pc(tag, pc);
        uhf_tag_set_epc_crc(tag, 0xBEEF);
        uhf_tag_wrapper_set_tag(holder_, tag);
        return tag;
    }

    host::Nanos busy_at_start_ = 0;
    host::Runtime rt_{host::RuntimeOptions{.log_to_stderr = false}};
    sim::Yrm100 model_{rt_};
    std::size_t baseline_ = 0;
    std::size_t tag_blocks_ = 0;
    std::size_t idle_blocks_ = 0;
    UHFWorker* worker_ = nullptr;
    UHFTagWrapper* holder_ = nullptr;
    Outcome outcome_;
    host::Nanos started_at_ = 0;
};

inline constexpr std::uint8_t kPoll = sim::yrm100::kCmdSinglePoll;
inline constexpr std::uint8_t kSelect = sim::yrm100::kCmdSelectParam;
inline constexpr std::uint8_t kRead = sim::yrm100::kCmdRead;
inline constexpr std::uint8_t kWrite = sim::yrm100::kCmdWrite;
inline constexpr std::uint8_t kInfo = sim::yrm100::kCmdInfo;

} // namespace worker_test
