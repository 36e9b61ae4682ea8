#pragma once
#include <FreeRTOS.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tskTaskControlBlock* TaskHandle_t;

/** Finds a task by name; null when none has it. */
TaskHandle_t xTaskGetHandle(const char* pcNameToQuery);
void vTaskPrioritySet(TaskHandle_t xTask, UBaseType_t uxNewPriority);
TickType_t xTaskGetTickCount(void);

#ifdef __cplusplus
}
#endif
