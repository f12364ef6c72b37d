#include "loader.h"

#include <dlfcn.h>

#define COMMON_INTERFACE_CALLED_POINTER(name, params, args) name##Function *p##name = nullptr;
#define COMMON_INTERFACE_UNCALLED_POINTER(name) name##Function *p##name = nullptr;
COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_CALLED_POINTER, COMMON_INTERFACE_UNCALLED_POINTER)
#undef COMMON_INTERFACE_CALLED_POINTER
#undef COMMON_INTERFACE_UNCALLED_POINTER

bool LoadCommonInterface(char *path)
{
    // Lazy binding and local scope. The handle is deliberately never closed:
    // the library stays mapped for the life of the process.
    void *library = dlopen(path, RTLD_LAZY);
    if (!library)
        return false;

#define COMMON_INTERFACE_BIND(name) p##name = reinterpret_cast<name##Function *>(dlsym(library, #name));
#define COMMON_INTERFACE_BIND_CALLED(name, params, args) COMMON_INTERFACE_BIND(name)
    COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_BIND_CALLED, COMMON_INTERFACE_BIND)
#undef COMMON_INTERFACE_BIND_CALLED
#undef COMMON_INTERFACE_BIND
    return true;
}

const char *entryPointName(EntryPoint entry)
{
    switch (entry) {
#define COMMON_INTERFACE_NAME(name)                                                                \
    case EntryPoint::name:                                                                         \
        return #name;
#define COMMON_INTERFACE_NAME_CALLED(name, params, args) COMMON_INTERFACE_NAME(name)
        COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_NAME_CALLED, COMMON_INTERFACE_NAME)
#undef COMMON_INTERFACE_NAME_CALLED
#undef COMMON_INTERFACE_NAME
    }
    return "";
}

bool isBound(EntryPoint entry)
{
    switch (entry) {
#define COMMON_INTERFACE_BOUND(name)                                                               \
    case EntryPoint::name:                                                                         \
        return p##name != nullptr;
#define COMMON_INTERFACE_BOUND_CALLED(name, params, args) COMMON_INTERFACE_BOUND(name)
        COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_BOUND_CALLED, COMMON_INTERFACE_BOUND)
#undef COMMON_INTERFACE_BOUND_CALLED
#undef COMMON_INTERFACE_BOUND
    }
    return false;
}
