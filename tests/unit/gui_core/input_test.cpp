// The button model's timing and sequences, on virtual time.
#include <gtest/gtest.h>

#include <furi.h>

#include <vector>

#include "host/input.h"
#include "host/runtime.h"

namespace {

using host::ms;
using host::Nanos;

struct Seen {
    Nanos at;
    InputKey key;
    InputType type;
    std::uint32_t sequence;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << input_get_key_name(s.key) << ' ' << input_get_type_name(s.type) << " #"
               << s.sequence << " @" << s.at / ms(1) << "ms";
}

class InputTest : public ::testing::Test {
protected:
    InputTest() {
        input_.set_sink([this](const InputEvent& e) {
            // Events arrive in interrupt context, as from the device's input driver.
            EXPECT_TRUE(furi_kernel_is_irq_or_masked());
            seen_.push_back({rt_.now() - start_, e.key, e.type, e.sequence});
        });
    }
    host::RuntimeOptions quiet() {
        host::RuntimeOptions o;
        o.log_to_stderr = false;
        return o;
    }

    host::Runtime rt_{quiet()};
    host::InputDevice input_{rt_};
    Nanos start_ = rt_.now();
    std::vector<Seen> seen_;
};

TEST_F(InputTest, ShortPressIsPressShortRelease) {
    const Nanos end = input_.short_press(InputKeyOk);
    EXPECT_EQ(end, start_ + ms(50));
    rt_.run_for(ms(100));
    EXPECT_EQ(
        seen_,
        (std::vector<Seen>{
            {ms(0), InputKeyOk, InputTypePress, 1},
            {ms(50), InputKeyOk, InputTypeShort, 1},
            {ms(50), InputKeyOk, InputTypeRelease, 1}}));
    EXPECT_EQ(input_.history().size(), 3u);
    EXPECT_FALSE(input_.is_pressed(InputKeyOk));
}

TEST_F(InputTest, HoldingEmitsLongThenRepeatsAndNoShort) {
    input_.long_press(InputKeyUp, ms(700));
    rt_.run_for(ms(800));
    EXPECT_EQ(
        seen_,
        (std::vector<Seen>{
            {ms(0), InputKeyUp, InputTypePress, 1},
            {ms(300), InputKeyUp, InputTypeLong, 1},
            {ms(450), InputKeyUp, InputTypeRepeat, 1},
            {ms(600), InputKeyUp, InputTypeRepeat, 1},
            {ms(700), InputKeyUp, InputTypeRelease, 1}}));
    // The default long press holds 500 ms: Press, Long at 300, one Repeat at 450, Release.
    seen_.clear();
    input_.long_press(InputKeyBack);
    rt_.run_for(ms(600));
    ASSERT_EQ(seen_.size(), 4u);
    EXPECT_EQ(seen_[1].type, InputTypeLong);
    EXPECT_EQ(seen_[2].type, InputTypeRepeat);
    EXPECT_EQ(seen_[3].type, InputTypeRelease);
    EXPECT_EQ(seen_[3].at - seen_[0].at, ms(500));
    EXPECT_EQ(seen_[3].sequence, 2u);
}

TEST_F(InputTest, ReleaseJustBeforeTheLongTimeIsShort) {
    input_.press(InputKeyDown);
    input_.release_at(InputKeyDown, rt_.now() + ms(299));
    rt_.run_for(ms(400));
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_EQ(seen_[1].type, InputTypeShort);
    EXPECT_EQ(seen_[2].at, ms(299));
}

TEST_F(InputTest, GesturesQueueUpAndSequencesCount) {
    input_.short_press(InputKeyLeft);
    input_.short_press(InputKeyRight);
    const Nanos end = input_.long_press(InputKeyOk);
    EXPECT_EQ(end, start_ + ms(50 + 50 + 500));
    rt_.run_for(ms(700));
    std::vector<std::uint32_t> sequences;
    for(const auto& s : seen_)
        if(s.type == InputTypePress) sequences.push_back(s.sequence);
    EXPECT_EQ(sequences, (std::vector<std::uint32_t>{1, 2, 3}));
    // One press ends before the next begins.
    int held = 0;
    for(const auto& s : seen_) {
        held += s.type == InputTypePress ? 1 : s.type == InputTypeRelease ? -1 : 0;
        EXPECT_LE(held, 1);
    }
}

TEST_F(InputTest, OverlappingKeysAndRedundantCallsAreHarmless) {
    input_.press(InputKeyUp);
    input_.press(InputKeyUp);     // already down
    input_.release(InputKeyDown); // not down
    input_.press_at(InputKeyBack, rt_.now() + ms(100));
    input_.release_at(InputKeyUp, rt_.now() + ms(200));
    input_.release_at(InputKeyBack, rt_.now() + ms(250));
    input_.press(static_cast<InputKey>(17)); // no such key
    rt_.run_for(ms(300));
    std::vector<std::pair<InputKey, InputType>> got;
    for(const auto& s : seen_) got.emplace_back(s.key, s.type);
    EXPECT_EQ(
        got,
        (std::vector<std::pair<InputKey, InputType>>{
            {InputKeyUp, InputTypePress},
            {InputKeyBack, InputTypePress},
            {InputKeyUp, InputTypeShort},
            {InputKeyUp, InputTypeRelease},
            {InputKeyBack, InputTypeShort},
            {InputKeyBack, InputTypeRelease}}));
    EXPECT_STREQ(input_get_key_name(static_cast<InputKey>(17)), "Unknown");
    EXPECT_STREQ(input_get_type_name(InputTypeRepeat), "Repeat");
}

TEST_F(InputTest, DestroyingTheDeviceCancelsPendingEvents) {
    {
        host::InputDevice other(rt_);
        int count = 0;
        other.set_sink([&](const InputEvent&) { ++count; });
        other.long_press(InputKeyOk, ms(1000));
        rt_.run_for(ms(10));
        EXPECT_EQ(count, 1);
    }
    rt_.run_for(ms(2000)); // the Long, Repeats and Release of the gone device never run
    SUCCEED();
}

} // namespace
