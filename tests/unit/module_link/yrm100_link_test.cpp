// End-to-end exchanges between the module commands and the virtual YRM100 in virtual time:
// each command's success, each error reply, each injected fault, tags coming and going.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "devices/yrm100.h"
#include "link_fixture.h"

namespace {

using link_test::Bytes;
using link_test::hex;
using link_test::kExampleEpc;
using sim::Yrm100;
using sim::yrm100::Bank;
using sim::yrm100::Lock;
using sim::yrm100::TagSpec;
namespace fault = sim::yrm100_fault;

const Bytes kTid = hex("E2 80 11 60 20 00 74 CF 08 A9 FF 01"); // six words
const Bytes kUser = hex("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");

TagSpec example_tag() {
    TagSpec spec;
    spec.epc = kExampleEpc;
    spec.tid = kTid;
    spec.user = kUser;
    return spec;
}

using test_support::kTildeEpc;

/// A tag whose notice carries 0x7E in the EPC, the CRC and the checksum (the RSSI byte is chosen
/// for that), and whose TID and USER banks hold 0x7E too.
TagSpec tilde_tag() {
    TagSpec spec;
    spec.epc = kTildeEpc;
    spec.tid = hex("E2 80 11 60 7E 00 74 CF 08 A9 FF 7E");
    spec.user = hex("7E 7E 00 01 BB 7E 02 03");
    // Type, command, PL, RSSI 0, PC, EPC, CRC: what the checksum covers besides the RSSI.
    Bytes covered = {0x02, 0x22, 0x00, 0x11, 0x00, 0x34, 0x00};
    covered.insert(covered.end(), kTildeEpc.begin(), kTildeEpc.end());
    covered.insert(covered.end(), {0x3F, 0x7E});
    spec.rssi_dbm = static_cast<int8_t>(0x7E - sim::yrm100::checksum(covered));
    return spec;
}

TagSpec other_tag() {
    TagSpec spec;
    spec.epc = hex("E2 00 34 12 01 23 45 67 89 AB CD EF");
    spec.tid = hex("E2 00 34 12 00 00 00 00 00 00 00 02");
    return spec;
}

class ModelTest : public link_test::LinkTest {
protected:
    /// Sends raw bytes and returns what came back within 100 ms.
    Bytes raw_exchange(const Bytes& frame) {
        captured_.clear();
        furi_hal_uart_set_irq_cb(FuriHalUartIdUSART1, capture, &captured_);
        Bytes copy = frame;
        furi_hal_uart_tx(FuriHalUartIdUSART1, copy.data(), copy.size());
        furi_delay_ms(100);
        return captured_;
    }
    static void capture(UartIrqEvent, uint8_t byte, void* context) {
        static_cast<Bytes*>(context)->push_back(byte);
    }

    Bytes captured_;
    Yrm100 model_{rt_};
};

TEST_F(ModelTest, IdentityDefaultsToWhatARealModuleReports) {
    EXPECT_STREQ(exchange([&] { return m100_get_hardware_version(module_); }), "M100 26dBm V1.0");
    EXPECT_STREQ(exchange([&] { return m100_get_software_version(module_); }), "V2.3.5");
    EXPECT_STREQ(exchange([&] { return m100_get_manufacturers(module_); }), "MagicRf");
    EXPECT_EQ(model_.frames_received(), 3u);
}

TEST(ModelConfig, IdentityStringsAreConfigurable) {
    host::Runtime rt{host::RuntimeOptions{.log_to_stderr = false}};
    furi_hal_power_enable_otg();
    Yrm100 model{
        rt,
        sim::Yrm100Config{
            .hardware_version = "HW", .software_version = "SW", .manufacturer = "ACME"}};
    M100Module* module = m100_module_alloc();
    EXPECT_STREQ(m100_get_hardware_version(module), "HW");
    EXPECT_STREQ(m100_get_software_version(module), "SW");
    EXPECT_STREQ(m100_get_manufacturers(module), "ACME");
    m100_module_free(module);
}

TEST_F(ModelTest, ReadsATagTheWayTheReadJobDoes) {
    model_.add_tag(example_tag());
    ASSERT_EQ(poll(), M100SuccessResponse);
    // The default PC carries six EPC words and the User-memory bit: 3400, CRC 3A76.
    EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0x3400);
    EXPECT_EQ(uhf_tag_get_epc_crc(tag_), 0x3A76);
    ASSERT_EQ(select(), M100SuccessResponse);
    EXPECT_EQ(model_.select_mode(), 0x02);
    EXPECT_EQ(read(TIDBank, 5), M100SuccessResponse);
    EXPECT_EQ(read(TIDBank, 6), M100SuccessResponse);
    EXPECT_EQ(read(TIDBank, 7), M100MemoryOverrun); // A3: past the TID's end
    ASSERT_EQ(uhf_tag_get_tid_size(tag_), 12u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_tid(tag_), kTid.data(), 12));
    EXPECT_EQ(read(UserBank, 8), M100SuccessResponse);
    ASSERT_EQ(uhf_tag_get_user_size(tag_), 16u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_user(tag_), kUser.data(), 16));
}

TEST_F(ModelTest, FramesWithTildeInsideAreReadAndWrittenWhole) {
    const auto id = model_.add_tag(tilde_tag());
    const Bytes notice = raw_exchange(hex("BB 00 22 00 00 22 7E"));
    ASSERT_EQ(notice.size(), 24u);
    EXPECT_EQ(notice[22], 0x7E); // the checksum
    EXPECT_EQ(std::count(notice.begin(), notice.end(), 0x7E), 4);

    ASSERT_EQ(poll(), M100SuccessResponse);
    EXPECT_EQ(
        Bytes(uhf_tag_get_epc(tag_), uhf_tag_get_epc(tag_) + uhf_tag_get_epc_size(tag_)),
        kTildeEpc);
    EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0x3400);
    EXPECT_EQ(uhf_tag_get_epc_crc(tag_), test_support::kTildeCrc);
    // The mask sent with the select holds the 0x7E; the model matched it.
    ASSERT_EQ(select(), M100SuccessResponse);
    EXPECT_EQ(model_.requests().back().data, kTildeEpc);

    ASSERT_EQ(read(TIDBank, 6), M100SuccessResponse);
    EXPECT_EQ(
        Bytes(uhf_tag_get_tid(tag_), uhf_tag_get_tid(tag_) + uhf_tag_get_tid_size(tag_)),
        tilde_tag().tid);
    ASSERT_EQ(read(UserBank, 4), M100SuccessResponse);
    EXPECT_EQ(
        Bytes(uhf_tag_get_user(tag_), uhf_tag_get_user(tag_) + uhf_tag_get_user_size(tag_)),
        tilde_tag().user);

    const Bytes user = hex("7E 00 7E 7E");
    uhf_tag_set_user(tag_, user.data(), user.size());
    ASSERT_EQ(write(UserBank, 1), M100SuccessResponse);
    EXPECT_EQ(model_.bank(id, Bank::User), hex("7E 7E 7E 00 7E 7E 02 03"));
    ASSERT_EQ(write(EPCBank), M100SuccessResponse);
    EXPECT_EQ(model_.tag(id).epc(), kTildeEpc);
}

TEST_F(ModelTest, RefusesTheNextReadsAndWritesWithTheGivenError) {
    const auto id = model_.add_tag(example_tag());
    give_example_epc();
    // A tag error names the singulated tag (long form); "read failed" is the short form.
    model_.refuse_reads(1, sim::yrm100::kErrReadTag | sim::yrm100::kGen2MemoryLocked);
    EXPECT_EQ(read(TIDBank, 6), M100MemoryOverrun);
    EXPECT_EQ(buffer_get_size(module_->buffer), 23u);
    model_.refuse_reads(2, sim::yrm100::kErrReadFailed);
    EXPECT_EQ(read(TIDBank, 6), M100NoTagResponse);
    EXPECT_EQ(read(TIDBank, 6), M100NoTagResponse);
    EXPECT_EQ(read(TIDBank, 6), M100SuccessResponse);

    // By default a refused write is "insufficient power" (B B) in the long form.
    model_.refuse_writes(2);
    EXPECT_EQ(write(EPCBank), M100ValidationFail);
    EXPECT_EQ(buffer_get_data(module_->buffer)[5], 0xBB);
    EXPECT_EQ(write(EPCBank), M100ValidationFail);
    EXPECT_EQ(model_.tag(id).writes(), 0u);
    EXPECT_EQ(write(EPCBank), M100SuccessResponse);
    EXPECT_EQ(model_.tag(id).writes(), 1u);
    model_.refuse_writes(1, sim::yrm100::kErrWriteFailed);
    model_.remove_tag(id); // refusals hold whatever the field
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
    model_.refuse_writes(3);
    model_.refuse_writes(0);
    model_.set_presence(id, rt_.now(), std::nullopt);
    EXPECT_EQ(write(EPCBank), M100SuccessResponse);
}

TEST_F(ModelTest, KeepsEveryRequestDecoded) {
    model_.add_tag(example_tag());
    give_example_epc();
    const Bytes user = hex("CA FE BA BE");
    uhf_tag_set_user(tag_, user.data(), user.size());
    select();
    exchange([&] { return m100_read_label_data_storage(module_, tag_, TIDBank, 0xA1B2C3D4, 6); });
    write(UserBank, 2);
    raw_exchange(hex("BB 00 22 00 00 23 7E")); // wrong checksum

    const auto& log = model_.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].command, sim::yrm100::kCmdSelectParam);
    EXPECT_EQ(log[0].bank, Bank::Epc);
    EXPECT_EQ(log[0].address, 32u);
    EXPECT_EQ(log[0].count, 96u);
    EXPECT_EQ(log[0].data, kExampleEpc);
    EXPECT_EQ(log[1].command, sim::yrm100::kCmdRead);
    EXPECT_EQ(log[1].bank, Bank::Tid);
    EXPECT_EQ(log[1].password, 0xA1B2C3D4u);
    EXPECT_EQ(log[1].address, 0u);
    EXPECT_EQ(log[1].count, 6u);
    EXPECT_EQ(log[2].command, sim::yrm100::kCmdWrite);
    EXPECT_EQ(log[2].bank, Bank::User);
    EXPECT_EQ(log[2].address, 2u);
    EXPECT_EQ(log[2].count, 2u);
    EXPECT_EQ(log[2].data, user);
    EXPECT_EQ(log[2].raw.size(), 20u);
    for(std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(log[i].valid) << i;
    EXPECT_FALSE(log[3].valid);
    EXPECT_EQ(log[3].command, sim::yrm100::kCmdSinglePoll);
}

TEST_F(ModelTest, BanksAreReadAndWrittenDirectly) {
    const auto id = model_.add_tag(example_tag());
    give_example_epc();
    model_.set_bank(id, Bank::User, hex("01 02 03 04 05 06"));
    EXPECT_EQ(read(UserBank, 3), M100SuccessResponse);
    EXPECT_EQ(Bytes(uhf_tag_get_user(tag_), uhf_tag_get_user(tag_) + 6), hex("01 02 03 04 05 06"));
    EXPECT_EQ(read(UserBank, 4), M100MemoryOverrun); // the bank took the new size
    // Past the locks: the TID is permalocked against commands, not against the backend.
    model_.set_bank(id, Bank::Tid, hex("E2 00 34 12"));
    EXPECT_EQ(model_.bank(id, Bank::Tid), hex("E2 00 34 12"));
    EXPECT_THROW(model_.set_bank(id, Bank::User, hex("01 02 03")), std::invalid_argument);
    EXPECT_THROW(model_.set_bank(id, Bank::Reserved, hex("00 00")), std::invalid_argument);
    EXPECT_THROW(model_.bank(7, Bank::User), std::out_of_range);
}

TEST_F(ModelTest, SkipsBytesBeforeAFrameHeader) {
    // Console text on the line before a command, and a broken frame cut off by a stall.
    Bytes stream = {'1', '2', ' ', '[', 'E', ']', '[', 'm', '1', '0', '0',  ']',
                    ' ', 'c', 'm', 'd', '[', '0', ']', '=', 'B', 'B', '\r', '\n'};
    const Bytes poll_frame = hex("BB 00 22 00 00 22 7E");
    stream.insert(stream.end(), poll_frame.begin(), poll_frame.end());
    EXPECT_EQ(raw_exchange(stream), hex("BB 01 FF 00 01 15 16 7E"));
    EXPECT_EQ(model_.frames_received(), 1u);
    EXPECT_EQ(model_.requests().back().raw, poll_frame);
}

TEST_F(ModelTest, EmptyFieldGivesTheNoTagReplies) {
    give_example_epc();
    EXPECT_EQ(poll(), M100NoTagResponse);
    EXPECT_EQ(read(TIDBank, 5), M100NoTagResponse);
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
    EXPECT_EQ(raw_exchange(hex("BB 00 22 00 00 22 7E")), hex("BB 01 FF 00 01 15 16 7E"));
    EXPECT_EQ(
        raw_exchange(hex("BB 00 39 00 09 00 00 00 00 02 00 00 00 05 49 7E")),
        hex("BB 01 FF 00 01 09 0A 7E"));
}

TEST_F(ModelTest, ChecksumErrorsAndUnknownCommandsGetTheCommandError) {
    const Bytes command_error = hex("BB 01 FF 00 01 17 18 7E");
    EXPECT_EQ(raw_exchange(hex("BB 00 22 00 00 23 7E")), command_error);
    EXPECT_EQ(raw_exchange(sim::yrm100::make_frame(0x00, 0x99, Bytes{})), command_error);
    EXPECT_EQ(raw_exchange(hex("BB 00 03 00 01 07 0B 7E")), command_error); // no info type 7
    // A select answered with an error fails; the read sees the short error form.
    model_.add_tag(example_tag());
    give_example_epc();
    model_.arm_fault(fault::silence());
    EXPECT_EQ(select(), M100ValidationFail);
}

TEST_F(ModelTest, WriteChangesTheTagAndItsCrc) {
    const auto id = model_.add_tag(example_tag());
    const Bytes new_epc = hex("AA BB CC DD EE FF 00 11 22 33 44 55");
    uhf_tag_set_epc(tag_, new_epc.data(), new_epc.size());
    uhf_tag_set_epc_pc(tag_, 0x3000);
    uhf_tag_set_epc_crc(tag_, 0x1234); // a stale CRC; the tag computes its own
    EXPECT_EQ(write(EPCBank), M100SuccessResponse);
    EXPECT_EQ(model_.tag(id).epc(), new_epc);
    EXPECT_EQ(model_.tag(id).pc(), 0x3000);

    UHFTag* polled = uhf_tag_alloc();
    EXPECT_EQ(
        exchange([&] { return m100_send_single_poll(module_, polled); }), M100SuccessResponse);
    Bytes pc_epc = {0x30, 0x00};
    pc_epc.insert(pc_epc.end(), new_epc.begin(), new_epc.end());
    EXPECT_EQ(uhf_tag_get_epc_crc(polled), crc16_genibus(pc_epc.data(), pc_epc.size()));
    uhf_tag_free(polled);

    // User memory written and read back.
    const Bytes user = hex("CA FE BA BE");
    uhf_tag_set_user(tag_, user.data(), user.size());
    EXPECT_EQ(write(UserBank, 2), M100SuccessResponse);
    const Bytes stored = model_.tag(id).bytes(Bank::User);
    EXPECT_EQ(Bytes(stored.begin() + 4, stored.begin() + 8), user);
}

TEST_F(ModelTest, LockedBanksWrongPasswordsAndOverrunsAreRefused) {
    TagSpec spec = example_tag();
    spec.access_password = 0x12345678;
    spec.locks[static_cast<int>(Bank::Epc)] = Lock::Secured;
    const auto id = model_.add_tag(spec);
    give_example_epc();

    // Locked without the password: B4, the long error form.
    EXPECT_EQ(write(EPCBank), M100ValidationFail);
    // Wrong password: 16, long form.
    EXPECT_EQ(
        exchange(
            [&] { return m100_read_label_data_storage(module_, tag_, TIDBank, 0x11111111, 5); }),
        M100MemoryOverrun);
    const Bytes user(16, 0x55);
    uhf_tag_set_user(tag_, user.data(), user.size());
    EXPECT_EQ(
        exchange(
            [&] { return m100_write_label_data_storage(module_, tag_, UserBank, 0, 0x11111111); }),
        M100ValidationFail);
    EXPECT_EQ(model_.tag(id).writes(), 0u);
    // The right password unlocks the write.
    EXPECT_EQ(
        exchange(
            [&] { return m100_write_label_data_storage(module_, tag_, EPCBank, 0, 0x12345678); }),
        M100SuccessResponse);
    EXPECT_EQ(model_.tag(id).writes(), 1u);
    // Writing past the User bank's end (8 words from word 6): B3.
    EXPECT_EQ(write(UserBank, 6), M100ValidationFail);
    const Bytes reply = raw_exchange(hex("BB 00 39 00 09 00 00 00 00 02 00 00 00 07 4B 7E"));
    ASSERT_GE(reply.size(), 6u);
    EXPECT_EQ(reply[2], 0xFF);
    EXPECT_EQ(reply[5], 0xA3);
    EXPECT_EQ(reply[6], 0x0E); // UL of a 96-bit EPC
}

TEST_F(ModelTest, SelectSteersReadsToTheMatchingTag) {
    model_.add_tag(other_tag());
    model_.add_tag(example_tag());
    // Without a select the first tag answers.
    give_example_epc();
    EXPECT_EQ(read(TIDBank, 6), M100SuccessResponse);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_tid(tag_), other_tag().tid.data(), 12));
    ASSERT_EQ(select(), M100SuccessResponse);
    EXPECT_EQ(read(TIDBank, 6), M100SuccessResponse);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_tid(tag_), kTid.data(), 12));
    // A mask that matches no tag: reads find none.
    const Bytes nobody = hex("01 02 03 04");
    uhf_tag_set_epc(tag_, nobody.data(), nobody.size());
    ASSERT_EQ(select(), M100SuccessResponse);
    EXPECT_EQ(read(TIDBank, 6), M100NoTagResponse);
}

TEST_F(ModelTest, SeveralTagsAnswerOnePollWithOneNoticeEach) {
    model_.add_tag(example_tag());
    model_.add_tag(other_tag());
    EXPECT_EQ(poll(), M100SuccessResponse);
    // The second notice arrived in the same wait and was dropped behind the first end byte.
    EXPECT_EQ(buffer_get_size(module_->buffer), 24u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_epc(tag_), kExampleEpc.data(), 12));
}

TEST_F(ModelTest, TagsEnterAndLeaveBetweenCommands) {
    const auto t0 = rt_.now();
    const auto id = model_.add_tag(example_tag(), t0 + host::ms(150), t0 + host::ms(450));
    EXPECT_EQ(poll(), M100NoTagResponse);     //   0-100
    EXPECT_EQ(poll(), M100NoTagResponse);     // 100-200: the command ends before 150
    EXPECT_EQ(poll(), M100SuccessResponse);   // 200-300
    EXPECT_EQ(select(), M100SuccessResponse); // 300-400
    EXPECT_TRUE(model_.in_field(id));
    furi_delay_ms(60);
    EXPECT_FALSE(model_.in_field(id));
    EXPECT_EQ(read(TIDBank, 5), M100NoTagResponse);
    EXPECT_EQ(read(UserBank, 5), M100NoTagResponse);
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 0u);

    model_.set_presence(id, rt_.now(), std::nullopt);
    EXPECT_EQ(read(TIDBank, 5), M100SuccessResponse);
    model_.remove_tag(id);
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
}

TEST_F(ModelTest, InjectedFaultsAreFailuresNeverSuccess) {
    model_.add_tag(example_tag());
    ASSERT_EQ(poll(), M100SuccessResponse);

    model_.arm_fault(fault::silence());
    EXPECT_EQ(poll(), M100NoTagResponse);
    model_.arm_fault(fault::corrupt_byte(12));
    EXPECT_EQ(poll(), M100ValidationFail);
    model_.arm_fault(fault::cut_short(15));
    EXPECT_EQ(poll(), M100NoTagResponse);
    // Only the end byte missing: the frame is still short.
    model_.arm_fault(fault::cut_short(23));
    EXPECT_EQ(poll(), M100NoTagResponse);
    model_.arm_fault(fault::noise(300, 7));
    EXPECT_NE(poll(), M100SuccessResponse);
    EXPECT_EQ(buffer_get_size(module_->buffer), 128u); // full, never grown
    EXPECT_EQ(module_->buffer->capacity, 128u);
    // A reply that comes after the wait is no reply for this command.
    model_.arm_fault(fault::delay(host::ms(120)));
    EXPECT_EQ(poll(), M100NoTagResponse);
    furi_delay_ms(100); // let the late reply pass

    // Trailing bytes and a second frame: the first frame stands.
    model_.arm_fault(fault::trailing(hex("BB 01 FF 00 01 15 16 7E")));
    EXPECT_EQ(poll(), M100SuccessResponse);
    EXPECT_EQ(buffer_get_size(module_->buffer), 24u);

    // Faults on the other commands, armed two exchanges ahead.
    give_example_epc();
    model_.arm_fault(fault::cut_short(5), 2);
    EXPECT_EQ(select(), M100SuccessResponse);
    EXPECT_EQ(read(TIDBank, 6), M100NoTagResponse);
    model_.arm_fault(fault::silence());
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
    model_.arm_fault(fault::noise(40));
    EXPECT_EQ(select(), M100ValidationFail);
    model_.arm_fault(fault::silence());
    EXPECT_EQ(exchange([&] { return m100_get_hardware_version(module_); }), nullptr);
}

TEST_F(ModelTest, AnswersOnlyWithPowerAndAtItsBaudRate) {
    model_.add_tag(example_tag());
    furi_hal_power_disable_otg();
    EXPECT_EQ(poll(), M100NoTagResponse);
    EXPECT_EQ(model_.frames_received(), 0u);
    furi_hal_power_enable_otg();
    furi_hal_uart_set_br(FuriHalUartIdUSART1, 9600);
    EXPECT_EQ(poll(), M100NoTagResponse);
    EXPECT_EQ(model_.frames_received(), 0u);
    furi_hal_uart_set_br(FuriHalUartIdUSART1, 115200);
    model_.set_unplugged(true);
    EXPECT_EQ(exchange([&] { return m100_get_hardware_version(module_); }), nullptr);
    model_.set_unplugged(false);
    EXPECT_EQ(poll(), M100SuccessResponse);
    EXPECT_EQ(model_.frames_received(), 1u);
}

TEST(ModelConfig, CanIgnorePower) {
    host::Runtime rt{host::RuntimeOptions{.log_to_stderr = false}};
    Yrm100 model{rt, sim::Yrm100Config{.require_power = false}};
    model.add_tag(example_tag());
    M100Module* module = m100_module_alloc();
    UHFTag* tag = uhf_tag_alloc();
    EXPECT_EQ(m100_send_single_poll(module, tag), M100SuccessResponse);
    uhf_tag_free(tag);
    m100_module_free(module);
}

} // namespace
