#pragma once

#include <furi.h>

/* The two UARTs: the USART on pins 13 (TX) and 14 (RX), which the log and the expansion service
 * use unless an app holds it, and the LPUART on pins 15 and 16. */
typedef enum {
    FuriHalSerialIdUsart = 0,
    FuriHalSerialIdLpuart = 1,

    FuriHalSerialIdMax = 2,
} FuriHalSerialId;

typedef struct FuriHalSerialHandle FuriHalSerialHandle;
