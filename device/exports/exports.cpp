// The 78 exports of libCommonInterface.so, generated from the entry-point list
// with C linkage. Each called one goes through the fault scenarios chosen at
// OpenDevice (scenario.h); the names the program never calls answer
// NotSupported whatever their arguments.
#include "operations.h"
#include "scenario.h"

#define DEVICE_EXPORT extern "C" __attribute__((visibility("default")))

#define DEVICE_EXPORT_CALLED(name, params, args)                                                   \
    DEVICE_EXPORT int64_t name params                                                              \
    {                                                                                              \
        return device::scenario::run<device::scenario::Operation::name>(                           \
            [&] { return device::name args; }, std::forward_as_tuple args);                        \
    }
#define DEVICE_EXPORT_UNCALLED(name)                                                               \
    DEVICE_EXPORT int64_t name()                                                                   \
    {                                                                                              \
        return device::NotSupported;                                                               \
    }

COMMON_INTERFACE_ENTRY_POINTS(DEVICE_EXPORT_CALLED, DEVICE_EXPORT_UNCALLED)
