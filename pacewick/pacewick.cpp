#include "pacewick.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

// At 86.0 the expansion service watches the expansion pins; it lets go of them while the app uses
// PC0. The 36.x SDK has no such service.
#if __has_include(<expansion/expansion.h>)
#include <expansion/expansion.h>
#define PACEWICK_EXPANSION 1
#else
#define PACEWICK_EXPANSION 0
#endif

static_assert(sizeof(PacewickEventType) == 1, "the event kind is one byte");

void step_callback(void* context) {
    PacewickApp* app = static_cast<PacewickApp*>(context);
    PacewickSensor* sensor = app->sensor;

    const uint32_t now = furi_hal_cortex_timer_get(0).start;

    // The callback is not told which edge fired it: the level read now decides.
    if(furi_hal_gpio_read(sensor->pin)) {
        if(sensor->last_rise != 0) {
            sensor->period = now - sensor->last_rise; // unsigned: right across a counter wrap
        }
        sensor->last_rise = now;
        return;
    }

    const uint32_t high_time = now - sensor->last_rise;
    // With no period yet the half is 0, so nothing is below it.
    const bool below = high_time < (sensor->period >> 1);
    if(below == sensor->below_half) {
        return;
    }
    sensor->below_half = below;
    sensor->count++;

    // Only wakes the loop for a redraw; when the queue is full the step still stands and the
    // next redraw shows it.
    const PacewickEvent event = {};
    furi_message_queue_put(app->queue, &event, 0);
}

void input_callback(InputEvent* input_event, void* context) {
    FuriMessageQueue* queue = static_cast<FuriMessageQueue*>(context);

    PacewickEvent event = {};
    event.kind = PacewickEventTypeInput;
    event.input.key = input_event->key;
    event.input.type = input_event->type;
    furi_message_queue_put(queue, &event, FuriWaitForever);
}

void render_callback(Canvas* canvas, void* context) {
    const PacewickApp* app = static_cast<const PacewickApp*>(context);
    const PacewickSensor* sensor = app->sensor;

    char steps[20];
    snprintf(steps, sizeof(steps), "Steps: %" PRId32, sensor->count);
    canvas_draw_str_aligned(canvas, 1, 1, AlignLeft, AlignTop, steps);

    char label[10];
    snprintf(label, sizeof(label), sensor->running ? "STOP" : "START");
    canvas_draw_str_aligned(
        canvas,
        canvas_width(canvas) / 2,
        canvas_height(canvas) - 1,
        AlignCenter,
        AlignBottom,
        label);
}

static void pacewick_run(PacewickApp* app, ViewPort* view_port) {
    PacewickEvent event;
    while(furi_message_queue_get(app->queue, &event, FuriWaitForever) == FuriStatusOk) {
        if(event.kind == PacewickEventTypeInput && event.input.type == InputTypeShort) {
            if(event.input.key == InputKeyBack) {
                view_port_update(view_port);
                return;
            }
            if(event.input.key == InputKeyOk) {
                app->sensor->running = !app->sensor->running;
            }
        }
        // Steps, every other input and unknown kinds all just redraw.
        view_port_update(view_port);
    }
}

extern "C" int32_t pacewick_app(void* p) {
    (void)p;

#if PACEWICK_EXPANSION
    Expansion* expansion = static_cast<Expansion*>(furi_record_open(RECORD_EXPANSION));
    expansion_disable(expansion);
#endif

    PacewickApp* app = static_cast<PacewickApp*>(malloc(sizeof(PacewickApp)));
    PacewickSensor* sensor = static_cast<PacewickSensor*>(malloc(sizeof(PacewickSensor)));
    app->sensor = sensor;

    sensor->pin = &gpio_ext_pc0;
    // The level before the pin is configured seeds the comparison state.
    sensor->below_half = furi_hal_gpio_read(sensor->pin);
    sensor->count = 0;
    sensor->running = false;

    app->queue = furi_message_queue_alloc(PACEWICK_QUEUE_SIZE, sizeof(PacewickEvent));

    furi_hal_gpio_init(sensor->pin, GpioModeInterruptRiseFall, GpioPullNo, GpioSpeedVeryHigh);
    furi_hal_gpio_add_int_callback(sensor->pin, step_callback, app);

    ViewPort* view_port = view_port_alloc();
    view_port_draw_callback_set(view_port, render_callback, app);
    view_port_input_callback_set(view_port, input_callback, app->queue);

    Gui* gui = static_cast<Gui*>(furi_record_open(RECORD_GUI));
    // Fullscreen: the GUI accepts only layers below GuiLayerMAX, and the drawing adapts to the
    // canvas size anyway.
    gui_add_view_port(gui, view_port, GuiLayerFullscreen);

    pacewick_run(app, view_port);

    // Stop the interrupt before anything it touches goes; the pin stays configured.
    furi_hal_gpio_remove_int_callback(sensor->pin);
    view_port_enabled_set(view_port, false);
    gui_remove_view_port(gui, view_port);
    view_port_free(view_port);
    furi_record_close(RECORD_GUI);
    furi_message_queue_free(app->queue);
    free(sensor);
    free(app);
#if PACEWICK_EXPANSION
    expansion_enable(expansion);
    furi_record_close(RECORD_EXPANSION);
#endif
    return 0;
}
