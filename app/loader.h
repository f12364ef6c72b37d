// Binding of libCommonInterface.so.
//
// One global pointer p<Name> per exported name, filled once by
// LoadCommonInterface() before the main window exists and only read after.
// A name the library does not export leaves its pointer null; callers go
// through isBound() (see panels/operation.h) instead of calling a null pointer.
#pragma once

#include "entrypoints.h"

// Function types of the entry points. The 48 names the program never calls get
// a bare prototype: they are bound, but nothing relies on their parameters.
#define COMMON_INTERFACE_CALLED_TYPE(name, params, args) using name##Function = int64_t params;
#define COMMON_INTERFACE_UNCALLED_TYPE(name) using name##Function = int64_t();
extern "C" {
COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_CALLED_TYPE, COMMON_INTERFACE_UNCALLED_TYPE)
}
#undef COMMON_INTERFACE_CALLED_TYPE
#undef COMMON_INTERFACE_UNCALLED_TYPE

#define COMMON_INTERFACE_CALLED_POINTER(name, params, args) extern name##Function *p##name;
#define COMMON_INTERFACE_UNCALLED_POINTER(name) extern name##Function *p##name;
COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_CALLED_POINTER, COMMON_INTERFACE_UNCALLED_POINTER)
#undef COMMON_INTERFACE_CALLED_POINTER
#undef COMMON_INTERFACE_UNCALLED_POINTER

// One enumerator per exported name, in binding order.
enum class EntryPoint {
#define COMMON_INTERFACE_CALLED_ENUM(name, params, args) name,
#define COMMON_INTERFACE_UNCALLED_ENUM(name) name,
    COMMON_INTERFACE_ENTRY_POINTS(COMMON_INTERFACE_CALLED_ENUM, COMMON_INTERFACE_UNCALLED_ENUM)
#undef COMMON_INTERFACE_CALLED_ENUM
#undef COMMON_INTERFACE_UNCALLED_ENUM
};

constexpr int entryPointCount = static_cast<int>(EntryPoint::AscToHex) + 1;

// Opens the library at path (a bare file name lets the dynamic loader's own
// search order decide) and binds every entry point. False when it cannot be
// opened; no pointer is written then.
bool LoadCommonInterface(char *path);

// The exported name of an entry point, e.g. "OpenDevice".
const char *entryPointName(EntryPoint entry);

// Whether the loaded library exports the entry point.
bool isBound(EntryPoint entry);
