#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <furi/core/base.h>
#include <furi/core/check.h>
#include <furi/core/common_defines.h>
#include <furi/core/event_flag.h>
#include <furi/core/kernel.h>
#include <furi/core/log.h>
#include <furi/core/memmgr.h>
#include <furi/core/message_queue.h>
#include <furi/core/mutex.h>
#include <furi/core/record.h>
#include <furi/core/semaphore.h>
#include <furi/core/string.h>
#include <furi/core/thread.h>
#include <furi/core/timer.h>
