// What the module receives when the console stays on while the app talks to it over USART1: the
// firmware copies every log line to USART1's TX pin at the line's current rate.
#include <gtest/gtest.h>

#include <furi_hal_console.h>

#include <string>

#include "devices/yrm100.h"
#include "link_fixture.h"

namespace {

using link_test::Bytes;
using test_support::kExampleEpc;

class ConsoleLeftOn : public link_test::LinkTest {
protected:
    sim::Yrm100 model_{rt_};
};

TEST_F(ConsoleLeftOn, TheModuleReceivesTheWriteLogLinesAndTheAttemptTakesTheirTime) {
    sim::yrm100::TagSpec spec;
    spec.epc = kExampleEpc;
    model_.add_tag(spec);
    give_example_epc();
    auto& port = rt_.uart(FuriHalUartIdUSART1);
    const host::Nanos byte_time = port.byte_time();
    ASSERT_EQ(byte_time, 86806u) << "the module's 115200 baud";

    // Console off, as the fixture and the app have it: the frame alone on the line.
    take_transmitted();
    host::Nanos start = rt_.now();
    ASSERT_EQ(m100_write_label_data_storage(module_, tag_, EPCBank, 0, 0), M100SuccessResponse);
    const host::Nanos quiet = rt_.now() - start;
    const Bytes frame = take_transmitted();
    ASSERT_EQ(frame.size(), 32u);
    EXPECT_EQ(quiet, host::ms(100) + (frame.size() - 1) * byte_time);

    // Console on: the PC line and one line per frame byte come first, in text, at 115200 baud.
    furi_hal_console_enable();
    start = rt_.now();
    EXPECT_EQ(m100_write_label_data_storage(module_, tag_, EPCBank, 0, 0), M100SuccessResponse)
        << "the module skips the text up to the frame's header";
    const host::Nanos loud = rt_.now() - start;
    const Bytes line = take_transmitted();
    ASSERT_GT(line.size(), frame.size());
    EXPECT_EQ(Bytes(line.end() - frame.size(), line.end()), frame);
    const std::string text(line.begin(), line.end() - frame.size());
    std::size_t lines = 0;
    for(std::size_t at = text.find("\r\n"); at != std::string::npos;
        at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, frame.size() + 1);
    EXPECT_NE(text.find(" [E][wkr] 3400\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" [E][m100] cmd[0]=BB\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" [E][m100] cmd[31]=7E\r\n"), std::string::npos) << text;
    // Every character costs the writing thread one byte time: over 800 characters, ~73 ms here.
    EXPECT_EQ(loud - quiet, text.size() * byte_time);
    EXPECT_GT(loud - quiet, host::ms(70));
    EXPECT_EQ(model_.frames_received(), 2u);
}

} // namespace
