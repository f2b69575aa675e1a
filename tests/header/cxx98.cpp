// The C99 check again as the oldest C++ a host may be written in: the header
// must compile, and the list must declare the operations with C linkage, so
// that a definition at file scope exports its plain name.
#include "c99.c"
