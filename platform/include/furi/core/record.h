#pragma once
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

bool furi_record_exists(const char* name);
void furi_record_create(const char* name, void* data);
/** Blocks until a record of that name exists. */
void* furi_record_open(const char* name);
void furi_record_close(const char* name);

#ifdef __cplusplus
}
#endif
