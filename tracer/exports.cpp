// The 78 exports of the tracing libCommonInterface.so, generated from the
// entry-point list with C linkage.
//
// Each call's inputs are written before it is forwarded and its outputs after
// (arguments.h says how each kind of argument is written). The 48 names the
// program never calls are declared without parameters; they are forwarded
// without arguments, which is exactly how the program calls them.
#include "arguments.h"
#include "trace.h"

#include <chrono>

namespace tracer {

// Called with the arguments of one export: traces and forwards them.
struct Traced
{
    EntryPoint entry;

    template <typename... Args> int64_t operator()(Args... args) const
    {
        trace::CallArguments<Args...> arguments(entry, args...);
        const bool redact = redacting();
        std::string line =
            timestamp() + ' ' + entryName(entry) + '(' + arguments.inputs(redact) + ')';

        Outcome outcome = Outcome::Called;
        void *function = realEntry(entry, outcome);
        int64_t result = outcome == Outcome::Missing ? EntryPointMissing : LibraryUnavailable;
        int64_t microseconds = 0;
        if (function) {
            const auto start = std::chrono::steady_clock::now();
            result =
                std::apply(reinterpret_cast<int64_t (*)(Args...)>(function), arguments.values());
            microseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
            const std::string returned = arguments.outputs(redact);
            if (!returned.empty())
                line += " -> " + returned;
        } else {
            line += outcome == Outcome::Missing ? " not exported by the real library"
                                                : " not forwarded, no real library";
        }
        line += "; result " + std::to_string(result) + "; " + std::to_string(microseconds) + " us";
        record(entry, line, result, outcome, microseconds);
        return result;
    }
};

} // namespace tracer

#define TRACER_EXPORT extern "C" __attribute__((visibility("default")))

#define TRACER_CALLED(name, params, args)                                                          \
    TRACER_EXPORT int64_t name params                                                              \
    {                                                                                              \
        return tracer::Traced{EntryPoint::name} args;                                              \
    }
#define TRACER_UNCALLED(name)                                                                      \
    TRACER_EXPORT int64_t name()                                                                   \
    {                                                                                              \
        return tracer::Traced{EntryPoint::name}();                                                 \
    }

COMMON_INTERFACE_ENTRY_POINTS(TRACER_CALLED, TRACER_UNCALLED)
