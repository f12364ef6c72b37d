// The 78 exports of libCommonInterface.so, generated from the entry-point list
// with C linkage. The names the program never calls answer NotSupported
// whatever their arguments.
#include "operations.h"

#define DEVICE_EXPORT extern "C" __attribute__((visibility("default")))

#define DEVICE_EXPORT_CALLED(name, params, args)                                                   \
    DEVICE_EXPORT int64_t name params                                                              \
    {                                                                                              \
        return device::name args;                                                                  \
    }
#define DEVICE_EXPORT_UNCALLED(name)                                                               \
    DEVICE_EXPORT int64_t name()                                                                   \
    {                                                                                              \
        return device::NotSupported;                                                               \
    }

COMMON_INTERFACE_ENTRY_POINTS(DEVICE_EXPORT_CALLED, DEVICE_EXPORT_UNCALLED)
