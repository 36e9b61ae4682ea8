// The read job against the virtual YRM100: bank lengths found word by word, the record's
// capacities, the no-tag budget, refused selects, tags leaving, and stops at each check point.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <ostream>
#include <sstream>

#include "worker_fixture.h"

namespace {

using namespace worker_test;
namespace fault = sim::yrm100_fault;

std::vector<unsigned> counts(unsigned from, unsigned to) {
    std::vector<unsigned> v(to - from + 1);
    std::iota(v.begin(), v.end(), from);
    return v;
}

struct BankCase {
    const char* name;
    std::size_t tid_words, user_words;           // on the tag
    std::vector<unsigned> tid_reads, user_reads; // word counts asked for, in order
    std::size_t tid_bytes, user_bytes;           // what the record keeps
};

void PrintTo(const BankCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadBanks : public WorkerTest, public testing::WithParamInterface<BankCase> {};

TEST_P(ReadBanks, AsksOneMoreWordUntilRefusedOrFull) {
    const BankCase& c = GetParam();
    const TagSpec spec = tag_spec(c.tid_words, c.user_words);
    const auto id = model_.add_tag(spec);

    start(UHFWorkerStateDetectSingle);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(reads_of(Bank::Tid), c.tid_reads);
    EXPECT_EQ(reads_of(Bank::User), c.user_reads);
    const auto reads = c.tid_reads.size() + c.user_reads.size();
    EXPECT_EQ(outcome_.at, rt_.now()) << "the callback ends the job";
    EXPECT_EQ(elapsed(), host::ms(300 + 100 * reads));

    UHFTag* tag = holder_->uhf_tag;
    expect_same_epc(model_.tag(id), tag);
    EXPECT_EQ(
        bytes_of(uhf_tag_get_tid(tag), uhf_tag_get_tid_size(tag)),
        Bytes(spec.tid.begin(), spec.tid.begin() + c.tid_bytes));
    EXPECT_EQ(
        bytes_of(uhf_tag_get_user(tag), uhf_tag_get_user_size(tag)),
        Bytes(spec.user.begin(), spec.user.begin() + c.user_bytes));
    expect_no_leak();
}

INSTANTIATE_TEST_SUITE_P(
    Tags,
    ReadBanks,
    testing::Values(
        // 7 TID words are refused (past the end); USER starts again at 5 and ends at capacity
        // without asking for a 33rd word.
        BankCase{"SixWordTidFullUser", 6, 32, {5, 6, 7}, counts(5, 32), 12, 64},
        // The first TID read is already too long: the TID stays empty.
        BankCase{"FourWordTid", 4, 6, {5}, {5, 6, 7}, 0, 12},
        // Longer than the record: never more than 8 TID or 32 USER words are asked for.
        BankCase{"BanksBeyondCapacity", 12, 40, {5, 6, 7, 8}, counts(5, 32), 16, 64}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkerTest, TildesInsideTheFramesDoNotCutTheBanksShort) {
    // 0x7E in the EPC, the CRC, the TID and all over the USER bank (its last word included),
    // so the notice and every bank reply carry it before their end byte.
    TagSpec spec = tag_spec(6, 20);
    spec.epc = test_support::kTildeEpc;
    spec.tid[3] = 0x7E;
    for(std::size_t i = 0; i < spec.user.size(); i += 7) spec.user[i] = 0x7E;
    spec.user.back() = 0x7E;
    const auto id = model_.add_tag(spec);

    start(UHFWorkerStateDetectSingle);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(reads_of(Bank::Tid), (std::vector<unsigned>{5, 6, 7}));
    EXPECT_EQ(reads_of(Bank::User), counts(5, 21));
    UHFTag* tag = holder_->uhf_tag;
    expect_same_epc(model_.tag(id), tag);
    EXPECT_EQ(uhf_tag_get_epc_crc(tag), test_support::kTildeCrc);
    EXPECT_EQ(bytes_of(uhf_tag_get_tid(tag), uhf_tag_get_tid_size(tag)), spec.tid);
    EXPECT_EQ(bytes_of(uhf_tag_get_user(tag), uhf_tag_get_user_size(tag)), spec.user);
    expect_no_leak();
}

TEST_F(WorkerTest, NoTagBudgetSpansOneBanksWholeLoop) {
    const TagSpec spec = tag_spec(8, 6);
    model_.add_tag(spec);
    // Exchanges: 1 poll, 2 select, then reads. Unanswered TID reads at 3, 5 and 7 use the budget
    // up although successes come in between; the USER loop has a fresh budget.
    for(unsigned exchange : {3u, 5u, 7u, 8u}) model_.arm_fault(fault::silence(), exchange);

    start(UHFWorkerStateDetectSingle);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(reads_of(Bank::Tid), (std::vector<unsigned>{5, 5, 6, 6, 7}));
    EXPECT_EQ(reads_of(Bank::User), (std::vector<unsigned>{5, 5, 6, 7}));
    EXPECT_EQ(uhf_tag_get_tid_size(holder_->uhf_tag), 12u);
    EXPECT_EQ(uhf_tag_get_user_size(holder_->uhf_tag), 12u);
    expect_no_leak();
}

TEST_F(WorkerTest, TagLeavingAfterTheSelectEndsEachBankAfterThreeNoTagReads) {
    const auto id = model_.add_tag(tag_spec(6, 8), 0, host::ms(300));

    start(UHFWorkerStateDetectSingle);
    finish();
    expect_reported(UHFWorkerEventSuccess);
    EXPECT_EQ(elapsed(), host::ms(900));
    EXPECT_EQ(reads_of(Bank::Tid), (std::vector<unsigned>{5, 5, 5}));
    EXPECT_EQ(reads_of(Bank::User), (std::vector<unsigned>{5, 5, 5}));
    expect_same_epc(model_.tag(id), holder_->uhf_tag);
    EXPECT_EQ(uhf_tag_get_tid_size(holder_->uhf_tag), 0u);
    EXPECT_EQ(uhf_tag_get_user_size(holder_->uhf_tag), 0u);
    expect_no_leak();
}

TEST_F(WorkerTest, RefusedSelectFailsAndTheHolderKeepsTheNewTag) {
    const auto id = model_.add_tag(tag_spec(6, 8));
    UHFTag* loaded = hold_loaded_tag(pattern(4, 0x40), 0x2000);
    model_.arm_fault(fault::silence(), 2);

    start(UHFWorkerStateDetectSingle);
    finish();
    expect_reported(UHFWorkerEventFail);
    EXPECT_EQ(elapsed(), host::ms(300));
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kSelect}));
    ASSERT_NE(holder_->uhf_tag, loaded);
    expect_same_epc(model_.tag(id), holder_->uhf_tag);
    EXPECT_EQ(uhf_tag_get_tid_size(holder_->uhf_tag), 0u);
    expect_no_leak(); // the loaded tag went when the new one came
}

TEST_F(WorkerTest, StopWhilePollingFreesThePolledTagAndLeavesTheHolder) {
    UHFTag* loaded = hold_loaded_tag(pattern(4, 0x40), 0x2000);

    start(UHFWorkerStateDetectSingle);
    stop_after(250); // in the second pass; seen after its pause
    EXPECT_EQ(elapsed(), host::ms(400));
    expect_reported(UHFWorkerEventAborted);
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kPoll}));
    EXPECT_EQ(holder_->uhf_tag, loaded);
    EXPECT_EQ(bytes_of(uhf_tag_get_epc(loaded), uhf_tag_get_epc_size(loaded)), pattern(4, 0x40));
    expect_no_leak();
}

TEST_F(WorkerTest, StopInThePassInWhichATagAnswersWins) {
    // The tag answers the fourth poll (600 ms); the stop comes while that poll waits.
    model_.add_tag(tag_spec(6, 8), host::ms(500));

    start(UHFWorkerStateDetectSingle);
    stop_after(650);
    EXPECT_EQ(elapsed(), host::ms(800));
    expect_reported(UHFWorkerEventAborted);
    EXPECT_EQ(commands(), (std::vector<std::uint8_t>{kPoll, kPoll, kPoll, kPoll}));
    EXPECT_EQ(holder_->uhf_tag, nullptr);
    expect_no_leak();
}

TEST_F(WorkerTest, StopDuringTheBankReadsKeepsWhatWasRead) {
    const auto id = model_.add_tag(tag_spec(6, 8));

    start(UHFWorkerStateDetectSingle);
    stop_after(450); // during the 6-word TID read, seen before the 7-word one
    EXPECT_EQ(elapsed(), host::ms(500));
    expect_reported(UHFWorkerEventAborted);
    EXPECT_EQ(reads_of(Bank::Tid), (std::vector<unsigned>{5, 6}));
    EXPECT_TRUE(reads_of(Bank::User).empty());
    expect_same_epc(model_.tag(id), holder_->uhf_tag);
    EXPECT_EQ(uhf_tag_get_tid_size(holder_->uhf_tag), 12u);
    EXPECT_EQ(uhf_tag_get_user_size(holder_->uhf_tag), 0u);
    expect_no_leak();
}

} // namespace

namespace {

// The line as a logic analyser records it during a read job: runs of bytes each exactly one byte
// time after the one before, as "<ns after the job's start> <tx|rx> <hex bytes>", then when the
// callback ran. Any change in a byte's timing or in what a thread saw
// between two interrupts shows here.
class LineTrace {
public:
    LineTrace(host::UartPort& port, host::Nanos origin)
        : port_(port)
        , origin_(origin) {
        port_.set_monitor([this](host::UartDirection dir, std::uint8_t byte, host::Nanos at) {
            add(dir, byte, at);
        });
    }
    ~LineTrace() { port_.set_monitor(nullptr); }

    std::string text() const { return out_.str(); }

private:
    void add(host::UartDirection dir, std::uint8_t byte, host::Nanos at) {
        const bool continues = started_ && dir == last_dir_ && at == last_at_ + port_.byte_time();
        if(!continues) {
            if(started_) out_ << '\n';
            out_ << at - origin_ << (dir == host::UartDirection::FromDevice ? " tx" : " rx");
        }
        char hex[4];
        std::snprintf(hex, sizeof(hex), " %02X", byte);
        out_ << hex;
        started_ = true;
        last_dir_ = dir;
        last_at_ = at;
    }

    host::UartPort& port_;
    host::Nanos origin_;
    std::ostringstream out_;
    bool started_ = false;
    host::UartDirection last_dir_ = host::UartDirection::FromDevice;
    host::Nanos last_at_ = 0;
};

} // namespace

TEST_F(WorkerTest, ReadJobLineTraceIsTheRecordedOne) {
    // Rewrite tests/data/read_job_trace.txt deliberately with UPDATE_TRACES=1.
    const std::string path = std::string(TEST_DATA_DIR) + "/read_job_trace.txt";
    model_.add_tag(tag_spec(6, 8));
    std::string trace;
    {
        LineTrace line(rt_.uart(FuriHalUartIdUSART1), rt_.now());
        const host::Nanos origin = rt_.now();
        start(UHFWorkerStateDetectSingle);
        finish();
        expect_reported(UHFWorkerEventSuccess);
        std::ostringstream all;
        all << "# A read job (6-word TID, 8-word USER) on USART1: <ns> <tx|rx> <bytes one byte time "
               "apart>, then the callback.\n"
            << line.text() << '\n';
        all << "callback " << outcome_.at - origin << '\n';
        trace = all.str();
    }
    if(std::getenv("UPDATE_TRACES")) {
        std::ofstream(path, std::ios::binary) << trace;
        GTEST_SKIP() << "rewrote " << path;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "missing " << path << " (UPDATE_TRACES=1 writes it)";
    std::stringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(trace, expected.str());
}
