// The 78 exports of the simulated libCommonInterface.so, generated from the
// entry-point list with C linkage. The names the program never calls answer
// NotSupported whatever their arguments.
#include "reader.h"

#define SIMULATED_READER_EXPORT extern "C" __attribute__((visibility("default")))

#define SIMULATED_READER_CALLED(name, params, args)                                                \
    SIMULATED_READER_EXPORT int64_t name params { return sim::name args; }
#define SIMULATED_READER_UNCALLED(name)                                                            \
    SIMULATED_READER_EXPORT int64_t name() { return sim::NotSupported; }

COMMON_INTERFACE_ENTRY_POINTS(SIMULATED_READER_CALLED, SIMULATED_READER_UNCALLED)
