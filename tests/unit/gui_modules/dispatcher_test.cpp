// View dispatcher: input routing, Back navigation, ticks, custom events from other threads and
// misuse.
#include <gui/view.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture.h"

namespace gui_modules_test {
namespace {

/// A view that records what reaches it and consumes what it is told to.
struct Probe {
    explicit Probe(bool consume_back_ = false)
        : view(view_alloc())
        , consume_back(consume_back_) {
        view_set_context(view, this);
        view_set_input_callback(view, [](InputEvent* event, void* context) {
            auto* self = static_cast<Probe*>(context);
            self->events.push_back(*event);
            if(self->on_input) self->on_input(*event);
            return event->key != InputKeyBack || self->consume_back;
        });
        view_set_custom_callback(view, [](uint32_t event, void* context) {
            auto* self = static_cast<Probe*>(context);
            self->customs.push_back(event);
            return self->consume_custom;
        });
    }
    ~Probe() { view_free(view); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    std::vector<InputType> types(InputKey key) const {
        std::vector<InputType> out;
        for(const auto& e : events) {
            if(e.key == key) out.push_back(e.type);
        }
        return out;
    }

    View* view;
    bool consume_back;
    bool consume_custom = false;
    std::vector<InputEvent> events;
    std::vector<uint32_t> customs;
    std::function<void(const InputEvent&)> on_input;
};

struct Events {
    std::vector<uint32_t> custom;
    std::vector<std::string> custom_threads;
    int navigation = 0;
    bool navigation_result = true;
    std::vector<uint32_t> tick_times;
};

class Dispatcher : public GuiFixture {
protected:
    void SetUp() override {
        view_dispatcher_set_event_callback_context(dispatcher_, &events_);
        view_dispatcher_set_custom_event_callback(dispatcher_, [](void* context, uint32_t event) {
            auto* e = static_cast<Events*>(context);
            e->custom.push_back(event);
            e->custom_threads.emplace_back(furi_thread_get_name(furi_thread_get_current_id()));
            return true;
        });
        view_dispatcher_set_navigation_event_callback(dispatcher_, [](void* context) {
            auto* e = static_cast<Events*>(context);
            ++e->navigation;
            return e->navigation_result;
        });
    }
    void TearDown() override {
        stop_loop();
        for(auto& [id, probe] : probes_) view_dispatcher_remove_view(dispatcher_, id);
        probes_.clear();
    }
    /// A probe view added under `id`; it lives until the end of the test.
    Probe& add(uint32_t id, bool consume_back = false) {
        probes_.emplace_back(id, std::make_unique<Probe>(consume_back));
        view_dispatcher_add_view(dispatcher_, id, probes_.back().second->view);
        return *probes_.back().second;
    }

    Events events_;
    std::vector<std::pair<uint32_t, std::unique_ptr<Probe>>> probes_;
};

TEST_F(Dispatcher, InputReachesOnlyTheCurrentView) {
    Probe& a = add(1);
    Probe& b = add(2);
    view_dispatcher_switch_to_view(dispatcher_, 1);
    start_loop();
    press(InputKeyOk);
    view_dispatcher_switch_to_view(dispatcher_, 2);
    press(InputKeyUp);
    EXPECT_EQ(
        a.types(InputKeyOk),
        (std::vector<InputType>{InputTypePress, InputTypeShort, InputTypeRelease}));
    EXPECT_TRUE(a.types(InputKeyUp).empty());
    EXPECT_EQ(
        b.types(InputKeyUp),
        (std::vector<InputType>{InputTypePress, InputTypeShort, InputTypeRelease}));
    EXPECT_TRUE(b.types(InputKeyOk).empty());
}

TEST_F(Dispatcher, APressStaysWithTheViewThatSawItsPress) {
    Probe& a = add(1);
    Probe& b = add(2);
    a.on_input = [&](const InputEvent& e) {
        if(e.type == InputTypePress) view_dispatcher_switch_to_view(dispatcher_, 2);
    };
    view_dispatcher_switch_to_view(dispatcher_, 1);
    start_loop();
    press(InputKeyOk);
    EXPECT_EQ(a.types(InputKeyOk), (std::vector<InputType>{InputTypePress, InputTypeRelease}));
    EXPECT_TRUE(b.events.empty());
    press(InputKeyOk); // the next press is b's
    EXPECT_EQ(
        b.types(InputKeyOk),
        (std::vector<InputType>{InputTypePress, InputTypeShort, InputTypeRelease}));
}

TEST_F(Dispatcher, BackGoesToTheViewFirstThenToNavigation) {
    add(1, true);
    add(2, false);
    view_dispatcher_switch_to_view(dispatcher_, 1);
    start_loop();
    press(InputKeyBack);
    EXPECT_EQ(events_.navigation, 0);

    view_dispatcher_switch_to_view(dispatcher_, 2);
    press(InputKeyBack);
    EXPECT_EQ(events_.navigation, 1);
    EXPECT_TRUE(loop_running());

    long_press(InputKeyBack); // a Long Back navigates too (its Repeat does not)
    EXPECT_EQ(events_.navigation, 2);

    events_.navigation_result = false;
    press(InputKeyBack);
    EXPECT_EQ(events_.navigation, 3);
    EXPECT_FALSE(loop_running());
}

TEST_F(Dispatcher, NoCurrentViewEndsTheLoop) {
    add(1);
    view_dispatcher_switch_to_view(dispatcher_, 1);
    start_loop();
    view_dispatcher_switch_to_view(dispatcher_, VIEW_NONE);
    settle();
    EXPECT_FALSE(loop_running());
    stop_loop();

    View* spare = view_alloc();
    view_dispatcher_add_view(dispatcher_, 9, spare);
    view_dispatcher_switch_to_view(dispatcher_, 9);
    start_loop();
    EXPECT_TRUE(loop_running());
    view_dispatcher_remove_view(dispatcher_, 9); // the current one
    settle();
    EXPECT_FALSE(loop_running());
    stop_loop();
    view_free(spare);
}

TEST_F(Dispatcher, PreviousCallbackSwitchesViewsOrLeaves) {
    Probe& a = add(1);
    Probe& b = add(2);
    view_set_previous_callback(b.view, [](void*) -> uint32_t { return 1; });
    view_set_previous_callback(a.view, [](void*) -> uint32_t { return VIEW_NONE; });
    view_dispatcher_switch_to_view(dispatcher_, 2);
    start_loop();
    press(InputKeyBack);
    press(InputKeyOk);
    EXPECT_EQ(a.types(InputKeyOk).size(), 3u);
    EXPECT_EQ(events_.navigation, 0);
    press(InputKeyBack);
    EXPECT_FALSE(loop_running());
    EXPECT_EQ(events_.navigation, 0);
}

// A tick is a whole period without events: every event restarts the wait.
TEST_F(Dispatcher, TicksComeOnlyAfterAWholeIdlePeriod) {
    view_dispatcher_set_tick_event_callback(
        dispatcher_,
        [](void* context) {
            static_cast<Events*>(context)->tick_times.push_back(furi_get_tick());
        },
        100);
    const uint32_t start = furi_get_tick();
    start_loop();
    furi_delay_ms(530); // 550 ms idle from the start
    EXPECT_EQ(
        events_.tick_times,
        (std::vector<uint32_t>{start + 100, start + 200, start + 300, start + 400, start + 500}));

    events_.tick_times.clear();
    uint32_t last_event = 0;
    for(uint32_t i = 0; i < 10; ++i) { // an event every 60 ms: never idle long enough
        furi_delay_ms(i == 0 ? 20 : 60);
        last_event = furi_get_tick();
        view_dispatcher_send_custom_event(dispatcher_, i);
    }
    furi_delay_ms(250);
    EXPECT_EQ(events_.tick_times, (std::vector<uint32_t>{last_event + 100, last_event + 200}));
}

TEST_F(Dispatcher, CustomEventsFromAWorkerArriveInOrderOnTheLoopThread) {
    Probe& a = add(1);
    view_dispatcher_switch_to_view(dispatcher_, 1);
    start_loop();
    FuriThread* worker = furi_thread_alloc_ex(
        "worker",
        2048,
        [](void* context) -> int32_t {
            auto* dispatcher = static_cast<ViewDispatcher*>(context);
            // More than the queue holds: the worker waits for room instead of losing events.
            for(uint32_t i = 0; i < 40; ++i)
                view_dispatcher_send_custom_event(dispatcher, 100 + i);
            return 0;
        },
        dispatcher_);
    furi_thread_start(worker);
    furi_thread_join(worker);
    furi_thread_free(worker);
    settle();
    ASSERT_EQ(events_.custom.size(), 40u);
    for(uint32_t i = 0; i < 40; ++i) EXPECT_EQ(events_.custom[i], 100 + i);
    for(const auto& name : events_.custom_threads) EXPECT_EQ(name, "app");
    EXPECT_EQ(a.customs.size(), 40u); // the view saw each first and left it
}

TEST_F(Dispatcher, AViewThatConsumesACustomEventKeepsItFromTheApp) {
    Probe& a = add(1);
    a.consume_custom = true;
    view_dispatcher_switch_to_view(dispatcher_, 1);
    start_loop();
    view_dispatcher_send_custom_event(dispatcher_, 7);
    settle();
    EXPECT_EQ(a.customs, (std::vector<uint32_t>{7}));
    EXPECT_TRUE(events_.custom.empty());
}

class DispatcherMisuse : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(DispatcherMisuse, StopsWithAClearMessage) {
    EXPECT_DEATH(
        {
            host::Runtime rt(quiet());
            ViewDispatcher* d = view_dispatcher_alloc();
            view_dispatcher_switch_to_view(d, 3);
        },
        "view_dispatcher_switch_to_view: view id 3 was never added");
    EXPECT_DEATH(
        {
            host::Runtime rt(quiet());
            ViewDispatcher* d = view_dispatcher_alloc();
            View* v = view_alloc();
            view_dispatcher_add_view(d, 0, v);
            view_dispatcher_add_view(d, 0, view_alloc());
        },
        "view id 0 is already in use");
    EXPECT_DEATH(
        {
            host::Runtime rt(quiet());
            ViewDispatcher* d = view_dispatcher_alloc();
            View* v = view_alloc();
            view_dispatcher_add_view(d, 0, v);
            view_free(v);
        },
        "still added to a view dispatcher");
    EXPECT_DEATH(
        {
            host::Runtime rt(quiet());
            view_dispatcher_run(view_dispatcher_alloc());
        },
        "call view_dispatcher_enable_queue first");
    EXPECT_DEATH(
        {
            host::Runtime rt(quiet());
            ViewDispatcher* d = view_dispatcher_alloc();
            view_dispatcher_enable_queue(d);
            // From the loop's own thread a full queue cannot drain.
            view_dispatcher_set_event_callback_context(d, d);
            view_dispatcher_set_custom_event_callback(d, [](void* context, uint32_t) {
                for(int i = 0; i < 20; ++i)
                    view_dispatcher_send_custom_event(static_cast<ViewDispatcher*>(context), 1);
                return true;
            });
            view_dispatcher_send_custom_event(d, 0);
            view_dispatcher_run(d);
        },
        "the queue is full");
}

// The device's queue put waits forever, which an interrupt handler cannot: it crashes there.
TEST_F(DispatcherMisuse, SendingOrStoppingFromInterruptContextCrashes) {
    const std::pair<const char*, void (*)(ViewDispatcher*)> calls[] = {
        {"view_dispatcher_send_custom_event: called from interrupt context",
         [](ViewDispatcher* d) { view_dispatcher_send_custom_event(d, 1); }},
        {"view_dispatcher_stop: called from interrupt context",
         [](ViewDispatcher* d) { view_dispatcher_stop(d); }},
    };
    for(const auto& [message, entry] : calls) {
        const auto call = entry; // a lambda may not capture a structured binding (clang 14)
        EXPECT_DEATH(
            {
                host::Runtime rt(quiet());
                ViewDispatcher* d = view_dispatcher_alloc();
                view_dispatcher_enable_queue(d);
                host::run_in_interrupt_context([&] { call(d); });
            },
            message);
    }
}

} // namespace
} // namespace gui_modules_test
