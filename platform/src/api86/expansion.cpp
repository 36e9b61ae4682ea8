// expansion_enable and expansion_disable of 86.0; the record is host::ExpansionService's.
#include <expansion/expansion.h>

#include "host/expansion.h"

extern "C" {

void expansion_enable(Expansion* instance) {
    host::ExpansionService::enable(instance);
}

void expansion_disable(Expansion* instance) {
    host::ExpansionService::disable(instance);
}

} // extern "C"
