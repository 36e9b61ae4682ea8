#pragma once
#include <stdint.h>

int demo_extra_ping(uint8_t value);
