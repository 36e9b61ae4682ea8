#pragma once

#include <furi_hal_cortex.h>
#include <furi_hal_console.h>
#include <furi_hal_gpio.h>
#include <furi_hal_power.h>
#include <furi_hal_resources.h>
#include <furi_hal_uart.h>
