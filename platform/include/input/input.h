/* Input service: the six buttons and the events a press produces. */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RECORD_INPUT_EVENTS "input_events"

typedef enum {
    InputKeyUp = 0,
    InputKeyDown = 1,
    InputKeyRight = 2,
    InputKeyLeft = 3,
    InputKeyOk = 4,
    InputKeyBack = 5,
    InputKeyMAX,
} InputKey;

/* A press emits Press; held 300 ms it emits Long, then Repeat every 150 ms. The release emits
 * Release, preceded by Short only when no Long was emitted. */
typedef enum {
    InputTypePress = 0,
    InputTypeRelease = 1,
    InputTypeShort = 2,
    InputTypeLong = 3,
    InputTypeRepeat = 4,
    InputTypeMAX,
} InputType;

/* All events of one press (Press .. Release) share a sequence number. */
typedef struct {
    union {
        uint32_t sequence;
        struct {
            uint8_t sequence_source : 2;
            uint32_t sequence_counter : 30;
        };
    };
    InputKey key;
    InputType type;
} InputEvent;

/* Names for logs: "Up", "Press", ...; "Unknown" for a value out of range. */
const char* input_get_key_name(InputKey key);
const char* input_get_type_name(InputType type);

#ifdef __cplusplus
}
#endif
