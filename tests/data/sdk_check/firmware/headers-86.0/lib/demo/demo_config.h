#pragma once

#define DEMO_CONFIG_LIMIT (16)

#ifndef FURI_WARN_UNUSED
#define FURI_WARN_UNUSED __attribute__((warn_unused_result))
#endif
