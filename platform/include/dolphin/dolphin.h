/* Dolphin: the platform's record of what the user did ("deeds"). */
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RECORD_DOLPHIN "dolphin"

typedef enum {
    DolphinDeedSubGhzReceiverInfo = 0,
    DolphinDeedSubGhzSave = 1,
    DolphinDeedSubGhzRawRec = 2,
    DolphinDeedSubGhzAddManually = 3,
    DolphinDeedSubGhzSend = 4,
    DolphinDeedSubGhzFrequencyAnalyzer = 5,
    DolphinDeedRfidRead = 6,
    DolphinDeedRfidReadSuccess = 7,
    DolphinDeedRfidSave = 8,
    DolphinDeedRfidEmulate = 9,
    DolphinDeedRfidAdd = 10,
    DolphinDeedNfcRead = 11,
    DolphinDeedNfcReadSuccess = 12,
    DolphinDeedNfcSave = 13,
    DolphinDeedNfcDetectReader = 14,
    DolphinDeedNfcEmulate = 15,
    DolphinDeedNfcMfcAdd = 16,
    DolphinDeedNfcAddSave = 17,
    DolphinDeedNfcAddEmulate = 18,
    DolphinDeedIrSend = 19,
    DolphinDeedIrLearnSuccess = 20,
    DolphinDeedIrSave = 21,
    DolphinDeedIbuttonRead = 22,
    DolphinDeedIbuttonReadSuccess = 23,
    DolphinDeedIbuttonSave = 24,
    DolphinDeedIbuttonEmulate = 25,
    DolphinDeedIbuttonAdd = 26,
    DolphinDeedBadUsbPlayScript = 27,
    DolphinDeedU2fAuthorized = 28,
    DolphinDeedGpioUartBridge = 29,
    DolphinDeedPluginStart = 30,
    DolphinDeedPluginGameStart = 31,
    DolphinDeedPluginGameWin = 32,
    DolphinDeedMAX,
} DolphinDeed;

/* Records a deed; the deed must be below DolphinDeedMAX. Callable from any thread. */
void dolphin_deed(DolphinDeed deed);

#ifdef __cplusplus
}
#endif
