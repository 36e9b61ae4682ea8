#pragma once
/* Not an SDK include path: the checker leaves it alone. */
void host_thing(int);
