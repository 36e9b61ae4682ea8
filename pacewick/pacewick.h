/* pacewick: a step counter for an MX2125 accelerometer whose pulse output is wired to PC0.
 *
 * Three contexts meet here: the GPIO edge interrupt (step_callback), the GUI thread
 * (render_callback, input_callback) and the application thread (pacewick_app). */
#pragma once

#include <furi.h>
#include <furi_hal.h>
#include <gui/gui.h>
#include <input/input.h>

#include <stdint.h>

/* Shared with the edge interrupt. After start-up the interrupt alone writes below_half, count,
 * last_rise and period; the application thread alone writes running; the GUI thread only reads.
 * Each field is a single aligned byte or word, so no lock is taken. */
typedef struct {
    const GpioPin* pin;
    /* True when the pulse that last counted a step was high for less than half the period. */
    bool below_half;
    /* Steps counted since launch. */
    int32_t count;
    /* Selects the START/STOP label only; counting ignores it. */
    bool running;
    /* Cycle counter at the last rising edge; 0 while none has been seen. */
    uint32_t last_rise;
    /* Cycles between the last two rising edges; 0 until two have been seen. */
    uint32_t period;
} PacewickSensor;

typedef struct {
    FuriMessageQueue* queue;
    PacewickSensor* sensor;
} PacewickApp;

typedef enum : uint8_t {
    PacewickEventTypeStep = 0,
    PacewickEventTypeInput = 1,
} PacewickEventType;

typedef struct {
    PacewickEventType kind;
    /* Key and type of a forwarded input event (sequence 0); all zero for a step. */
    InputEvent input;
} PacewickEvent;

/* Room for a burst of steps and key presses between two wake-ups of the loop. */
#define PACEWICK_QUEUE_SIZE 8

/* Edge interrupt of the pin, on rising and falling edges. Context: the PacewickApp. */
void step_callback(void* context);
/* View port input callback (GUI thread). Context: the queue. */
void input_callback(InputEvent* input_event, void* context);
/* View port draw callback (GUI thread). Context: the PacewickApp. */
void render_callback(Canvas* canvas, void* context);

#ifdef __cplusplus
extern "C" {
#endif

/* Entry point; the argument is ignored. Returns 0 when the user leaves with Back. */
int32_t pacewick_app(void* p);

#ifdef __cplusplus
}
#endif
