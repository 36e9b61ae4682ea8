#pragma once
#include <stdint.h>

typedef long BaseType_t;
typedef unsigned long UBaseType_t;
typedef uint32_t TickType_t;

#define configMAX_PRIORITIES 32
#define pdTRUE ((BaseType_t)1)
#define pdFALSE ((BaseType_t)0)
