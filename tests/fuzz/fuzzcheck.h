// What every fuzz target asserts with: a broken promise stops the run at
// once, with the input saved, whatever the build's NDEBUG.
#pragma once

inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}
