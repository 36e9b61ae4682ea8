// The module's commands against scripted replies: the frames they send, how they judge each
// reply, and that they judge only the bytes of their own exchange.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "alloc_failures.h"
#include "devices/scripted_peer.h"
#include "link_fixture.h"

namespace {

using link_test::Bytes;
using link_test::hex;
using link_test::kExampleEpc;

const char* kHwReply = "BB 01 03 00 10 00 4D 31 30 30 20 32 36 64 42 6D 20 56 31 2E 30 92 7E";
const char* kPollReply = "BB 02 22 00 11 C9 34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70 3A 76 EF 7E";
const char* kSelectOk = "BB 01 0C 00 01 00 0E 7E";
const char* kReadOk =
    "BB 01 39 00 13 0E 34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70 12 34 56 78 B0 7E";

class CommandTest : public link_test::LinkTest {
protected:
    sim::ScriptedPeer peer_{rt_};
};

// --- identity ---

TEST_F(CommandTest, IdentityQueriesSendTheirFramesAndCopyTheText) {
    peer_.push_reply_hex(kHwReply);
    peer_.push_reply(sim::yrm100::make_frame(0x01, 0x03, hex("01 56 32 2E 33 2E 35")));
    peer_.push_reply(sim::yrm100::make_frame(0x01, 0x03, hex("02 4D 61 67 69 63 52 66")));
    EXPECT_STREQ(exchange([&] { return m100_get_hardware_version(module_); }), "M100 26dBm V1.0");
    EXPECT_STREQ(exchange([&] { return m100_get_software_version(module_); }), "V2.3.5");
    EXPECT_STREQ(exchange([&] { return m100_get_manufacturers(module_); }), "MagicRf");
    EXPECT_EQ(
        take_transmitted(),
        hex("BB 00 03 00 01 00 04 7E BB 00 03 00 01 01 05 7E "
            "BB 00 03 00 01 02 06 7E"));
    EXPECT_STREQ(module_->info->hw_version, "M100 26dBm V1.0");
    // 0x7E inside the text is text: the frame ends at 6 + PL.
    peer_.push_reply(sim::yrm100::make_frame(0x01, 0x03, hex("00 7E 41 7E")));
    EXPECT_STREQ(exchange([&] { return m100_get_hardware_version(module_); }), "~A~");
}

// A reply is the module's identity only when its frame is whole. One that came but is broken is
// asked for once more; two in a row, or silence, leave the query without an answer.
TEST_F(CommandTest, IdentityTakesOnlyAWholeFrameAndAsksOnceMoreForABrokenOne) {
    const Bytes good = hex(kHwReply);
    struct Case {
        std::string name;
        Bytes reply;
    };
    std::vector<Case> cases = {
        {"cut before its end byte", Bytes(good.begin(), good.end() - 1)},
        {"no length", hex("BB 01 03")},
        {"PL promises more than came", hex("BB 01 03 00 40 00 41 42")},
        {"an error reply", hex("BB 01 FF 00 01 17 18 7E")},
        {"no info type", sim::yrm100::make_frame(0x01, 0x03, {})},
        {"the software version's answer", sim::yrm100::make_frame(0x01, 0x03, hex("01 56 32"))},
        {"another command's reply", sim::yrm100::make_frame(0x01, 0x0C, hex("00"))},
    };
    for(std::size_t position = 0; position < good.size(); ++position) {
        for(unsigned bit = 0; bit < 8; ++bit) {
            Bytes flipped = good;
            flipped[position] ^= static_cast<std::uint8_t>(1u << bit);
            cases.push_back(
                {"bit " + std::to_string(bit) + " of byte " + std::to_string(position),
                 flipped});
        }
    }
    for(const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer_.push_reply(c.reply);
        peer_.push_reply(good);
        EXPECT_STREQ(m100_get_hardware_version(module_), "M100 26dBm V1.0");
        peer_.push_reply(c.reply);
        peer_.push_reply(c.reply);
        EXPECT_EQ(m100_get_hardware_version(module_), nullptr);
        EXPECT_EQ(module_->info->hw_version, nullptr);
        EXPECT_EQ(peer_.remaining(), 0u);
    }
    // Every ask sent the same query.
    const Bytes sent = take_transmitted();
    ASSERT_EQ(sent.size(), 4 * 8 * cases.size());
    for(std::size_t i = 0; i < sent.size(); i += 8)
        EXPECT_EQ(Bytes(sent.begin() + i, sent.begin() + i + 8), hex("BB 00 03 00 01 00 04 7E"));

    // Silence is not asked again.
    EXPECT_EQ(exchange([&] { return m100_get_hardware_version(module_); }), nullptr);
}

// --- single poll ---

TEST_F(CommandTest, PollStoresPcCrcAndEpcOfAValidNotice) {
    uhf_tag_set_tid(tag_, kExampleEpc.data(), 4);
    peer_.push_reply_hex(kPollReply);
    EXPECT_EQ(poll(), M100SuccessResponse);
    EXPECT_EQ(take_transmitted(), hex("BB 00 22 00 00 22 7E"));
    EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0x3400);
    EXPECT_EQ(uhf_tag_get_epc_crc(tag_), 0x3A76);
    ASSERT_EQ(uhf_tag_get_epc_size(tag_), 12u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_epc(tag_), kExampleEpc.data(), 12));
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 4u);
}

TEST_F(CommandTest, PollRefusesErrorsAlteredAndOversizedReplies) {
    peer_.push_reply_hex("BB 01 FF 00 01 15 16 7E");
    EXPECT_EQ(poll(), M100NoTagResponse);
    // One EPC byte altered: the checksum catches it.
    Bytes altered = hex(kPollReply);
    altered[10] ^= 0x40;
    peer_.push_reply(altered);
    EXPECT_EQ(poll(), M100ValidationFail);
    // Altered with the checksum made right: the CRC catches it.
    altered[altered.size() - 2] =
        sim::yrm100::checksum(std::span(altered).subspan(1, altered.size() - 3));
    peer_.push_reply(altered);
    EXPECT_EQ(poll(), M100ValidationFail);
    // A PC that announces a 20-byte EPC, CRC and checksum right: more than the record holds.
    Bytes long_epc(20, 0x11);
    Bytes pc_epc = {0x50, 0x00};
    pc_epc.insert(pc_epc.end(), long_epc.begin(), long_epc.end());
    const uint16_t crc = sim::yrm100::crc16_genibus(pc_epc);
    Bytes payload = {0xC9};
    payload.insert(payload.end(), pc_epc.begin(), pc_epc.end());
    payload.push_back(static_cast<uint8_t>(crc >> 8));
    payload.push_back(static_cast<uint8_t>(crc));
    peer_.push_reply(sim::yrm100::make_frame(0x02, 0x22, payload));
    EXPECT_EQ(poll(), M100ValidationFail);
    // A complete frame whose PC announces more EPC than it carries.
    peer_.push_reply(sim::yrm100::make_frame(0x02, 0x22, hex("C9 30 00 AA BB 00 00")));
    EXPECT_EQ(poll(), M100ValidationFail);
    expect_tag_untouched();
}

TEST_F(CommandTest, PollJudgesOnlyItsOwnExchange) {
    peer_.push_reply_hex(kPollReply);
    EXPECT_EQ(poll(), M100SuccessResponse);
    uhf_tag_reset(tag_);
    // Silence: the previous notice still sits in the block, but no byte came in this exchange.
    peer_.push_reply({});
    EXPECT_EQ(poll(), M100NoTagResponse);
    // Cut short after the PC word, then only two bytes.
    const Bytes notice = hex(kPollReply);
    peer_.push_reply(Bytes(notice.begin(), notice.begin() + 10));
    EXPECT_EQ(poll(), M100NoTagResponse);
    peer_.push_reply(hex("BB 02"));
    EXPECT_EQ(poll(), M100NoTagResponse);
    expect_tag_untouched();
}

// --- select ---

TEST_F(CommandTest, SelectSendsTheEpcMaskAndJudgesStatusAndChecksum) {
    give_example_epc();
    peer_.push_reply_hex(kSelectOk);
    EXPECT_EQ(select(), M100SuccessResponse);
    EXPECT_EQ(
        take_transmitted(),
        hex("BB 00 0C 00 13 01 00 00 00 20 60 00 30 75 1F EB 70 5C 59 04 "
            "E3 D5 0D 70 AD 7E"));
    peer_.push_reply_hex("BB 01 0C 00 01 01 0F 7E");
    EXPECT_EQ(select(), M100ValidationFail);
    peer_.push_reply_hex("BB 01 0C 00 01 00 0F 7E");
    EXPECT_EQ(select(), M100ValidationFail);
    // An error reply whose code byte happens to be 0 is no acceptance, checksum right or not.
    peer_.push_reply_hex("BB 01 FF 00 01 00 01 7E");
    EXPECT_EQ(select(), M100ValidationFail);
    peer_.push_reply_hex("BB 01 FF 00 01 00 00 7E");
    EXPECT_EQ(select(), M100ValidationFail);
    EXPECT_EQ(uhf_tag_get_epc_pc(tag_), 0x3400);
}

TEST_F(CommandTest, SelectWithoutAReplyFailsEvenAfterASuccess) {
    give_example_epc();
    peer_.push_reply_hex(kSelectOk);
    EXPECT_EQ(select(), M100SuccessResponse);
    peer_.push_reply({});
    EXPECT_EQ(select(), M100ValidationFail);
    peer_.push_reply_hex("BB 01 0C 00 01");
    EXPECT_EQ(select(), M100ValidationFail);
}

// --- read ---

TEST_F(CommandTest, ReadSendsBankAndCountAndStoresTheData) {
    give_example_epc();
    Bytes payload = hex("0E 34 00");
    payload.insert(payload.end(), kExampleEpc.begin(), kExampleEpc.end());
    const Bytes tid = hex("E2 80 11 60 20 00 74 CF 08 A9 FF 01");
    payload.insert(payload.end(), tid.begin(), tid.end());
    ASSERT_EQ(payload.size(), 27u);
    peer_.push_reply(sim::yrm100::make_frame(0x01, 0x39, payload));
    EXPECT_EQ(read(TIDBank, 6), M100SuccessResponse);
    const Bytes sent = take_transmitted();
    ASSERT_EQ(sent.size(), 16u);
    EXPECT_EQ(sent, hex("BB 00 39 00 09 00 00 00 00 02 00 00 00 06 4A 7E"));
    ASSERT_EQ(uhf_tag_get_tid_size(tag_), 12u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_tid(tag_), tid.data(), 12));

    peer_.push_reply_hex(kReadOk);
    EXPECT_EQ(read(UserBank, 2), M100SuccessResponse);
    ASSERT_EQ(uhf_tag_get_user_size(tag_), 4u);
    EXPECT_EQ(0, std::memcmp(uhf_tag_get_user(tag_), hex("12 34 56 78").data(), 4));
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 12u);
}

TEST_F(CommandTest, ReadOfTheEpcBankSendsNothing) {
    give_example_epc();
    const auto start = rt_.now();
    EXPECT_EQ(m100_read_label_data_storage(module_, tag_, EPCBank, 0, 6), M100SuccessResponse);
    EXPECT_EQ(rt_.now(), start);
    EXPECT_TRUE(take_transmitted().empty());
}

TEST_F(CommandTest, ReadErrorRepliesAndMissingReplies) {
    give_example_epc();
    peer_.push_reply_hex("BB 01 FF 00 01 09 0A 7E");
    EXPECT_EQ(read(TIDBank, 5), M100NoTagResponse);
    peer_.push_reply_hex("BB 01 FF 00 10 A3 0E 34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70 02 7E");
    EXPECT_EQ(read(TIDBank, 9), M100MemoryOverrun);
    peer_.push_reply_hex(kReadOk);
    EXPECT_EQ(read(TIDBank, 2), M100SuccessResponse);
    peer_.push_reply({});
    EXPECT_EQ(read(TIDBank, 3), M100NoTagResponse);
    // Cut short inside the data: the old reply behind it must not complete it.
    const Bytes read_ok = hex(kReadOk);
    peer_.push_reply(Bytes(read_ok.begin(), read_ok.begin() + 21));
    EXPECT_EQ(read(TIDBank, 2), M100NoTagResponse);
    // A 0x7E where the data should go does not end a reply whose PL promises more.
    Bytes tilde_cut = Bytes(read_ok.begin(), read_ok.begin() + 21);
    tilde_cut.back() = 0x7E;
    peer_.push_reply(tilde_cut);
    EXPECT_EQ(read(TIDBank, 2), M100NoTagResponse);
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 4u);
}

TEST_F(CommandTest, ReadRefusesDataBeyondCapacityAndNegativeLengths) {
    give_example_epc();
    // 18 TID bytes behind the EPC: more than the record's 16.
    Bytes payload = hex("0E 34 00");
    payload.insert(payload.end(), kExampleEpc.begin(), kExampleEpc.end());
    payload.insert(payload.end(), 18, 0xA5);
    peer_.push_reply(sim::yrm100::make_frame(0x01, 0x39, payload));
    EXPECT_EQ(read(TIDBank, 9), M100ValidationFail);
    // A payload shorter than UL, PC and the tag's 12-byte EPC.
    peer_.push_reply(sim::yrm100::make_frame(0x01, 0x39, hex("0E 34 00 30 75")));
    EXPECT_EQ(read(UserBank, 1), M100ValidationFail);
    EXPECT_EQ(uhf_tag_get_tid_size(tag_), 0u);
    EXPECT_EQ(uhf_tag_get_user_size(tag_), 0u);
}

// --- write ---

TEST_F(CommandTest, WriteOfTheEpcBankSendsCrcPcEpcAndLogsEveryByte) {
    give_example_epc();
    peer_.push_reply_hex("BB 01 49 00 10 0E 34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70 00 5F 7E");
    EXPECT_EQ(write(EPCBank), M100SuccessResponse);
    const Bytes sent = take_transmitted();
    Bytes expected = hex("BB 00 49 00 19 00 00 00 00 01 00 00 00 08 3A 76 34 00");
    expected.insert(expected.end(), kExampleEpc.begin(), kExampleEpc.end());
    expected.push_back(sim::yrm100::checksum(std::span(expected).subspan(1)));
    expected.push_back(0x7E);
    ASSERT_EQ(sent.size(), 32u);
    EXPECT_EQ(sent, expected);

    std::vector<host::LogLine> lines;
    for(auto& line : rt_.log().lines()) {
        if(line.tag == "wkr" || line.tag == "m100") lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 33u);
    EXPECT_EQ(lines[0].tag, "wkr");
    EXPECT_EQ(lines[0].text, "3400");
    EXPECT_EQ(lines[0].level, FuriLogLevelError);
    for(std::size_t i = 0; i < 32; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "cmd[%zu]=%02X", i, sent[i]);
        EXPECT_EQ(lines[i + 1].tag, "m100");
        EXPECT_EQ(lines[i + 1].text, text);
        EXPECT_EQ(lines[i + 1].level, FuriLogLevelError);
    }
    EXPECT_EQ(lines[1].text, "cmd[0]=BB");
    EXPECT_EQ(lines[32].text, "cmd[31]=7E");
}

TEST_F(CommandTest, WriteOfUserAndReservedBanksAndRefusalOfTid) {
    const Bytes user = hex("01 02 03 04 05");
    uhf_tag_set_user(tag_, user.data(), user.size());
    peer_.push_reply_hex("BB 01 49 00 02 00 00 4B 7E");
    peer_.push_reply_hex("BB 01 49 00 02 00 00 4B 7E");
    EXPECT_EQ(write(UserBank, 4), M100SuccessResponse);
    // Odd size: all five bytes go out, the word count says two.
    EXPECT_EQ(
        take_transmitted(), hex("BB 00 49 00 0E 00 00 00 00 03 00 04 00 02 01 02 03 04 05 6F 7E"));
    EXPECT_EQ(write(ReservedBank, 2), M100SuccessResponse);
    EXPECT_EQ(
        take_transmitted(), hex("BB 00 49 00 0D 00 00 00 00 00 00 02 00 02 00 00 00 00 5A 7E"));

    rt_.log().clear();
    const auto start = rt_.now();
    EXPECT_EQ(m100_write_label_data_storage(module_, tag_, TIDBank, 0, 0), M100MemoryOverrun);
    EXPECT_EQ(rt_.now(), start);
    EXPECT_TRUE(take_transmitted().empty());
    EXPECT_TRUE(rt_.log().texts("m100").empty());
    EXPECT_TRUE(rt_.log().texts("wkr").empty());
}

TEST_F(CommandTest, WriteJudgesErrorFormsAndMissingReplies) {
    give_example_epc();
    peer_.push_reply_hex("BB 01 FF 00 01 10 11 7E");
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
    peer_.push_reply_hex("BB 01 FF 00 10 B4 0E 34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70 13 7E");
    EXPECT_EQ(write(EPCBank), M100ValidationFail);
    peer_.push_reply_hex("BB 01 49 00 10 0E 34 00 30 75 1F EB 70 5C 59 04 E3 D5 0D 70 00 5F 7E");
    EXPECT_EQ(write(EPCBank), M100SuccessResponse);
    peer_.push_reply({});
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
    peer_.push_reply_hex("BB 01 49 00 10 0E 34");
    EXPECT_EQ(write(EPCBank), M100NoTagResponse);
}

// --- handle ---

TEST_F(CommandTest, FreeUnregistersTheReceiveCallbackFirst) {
    peer_.push_reply_hex(kHwReply);
    m100_get_hardware_version(module_);
    auto& port = rt_.uart(FuriHalUartIdUSART1);
    EXPECT_TRUE(port.has_rx_callback());
    EXPECT_EQ(port.baud_rate(), 115200u);
    EXPECT_EQ(module_->baudrate, 115200u);
    m100_module_free(module_);
    module_ = nullptr;
    EXPECT_FALSE(port.has_rx_callback());
    // Bytes that still arrive reach no released buffer.
    port.send_to_device(hex(kSelectOk));
    furi_delay_ms(10);
    EXPECT_EQ(port.dropped_without_callback(), 8u);
}

TEST_F(CommandTest, ModuleAllocFailsCleanly) {
    // Handle, info record, buffer record, buffer block.
    test_support::for_each_failed_allocation(4, [](auto) {
        EXPECT_EQ(m100_module_alloc(), nullptr);
    });
}

} // namespace
