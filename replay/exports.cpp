// The 78 exports of the replaying libCommonInterface.so, generated from the
// entry-point list with C linkage. Each answers from the trace: the traced
// outputs written into the caller's buffers, the traced result returned, and
// with READER_REPLAY_TIMING=1 not before the traced time has passed. A call
// the trace cannot answer writes nothing.
#include "arguments.h"
#include "replay.h"

#include <chrono>
#include <thread>

namespace replay {

struct Replayed
{
    EntryPoint entry;

    template <typename... Args> int64_t operator()(Args... args) const
    {
        const auto start = std::chrono::steady_clock::now();
        trace::CallArguments<Args...> arguments(entry, args...);
        trace::Call call;
        int64_t code = 0;
        if (!take(
                entry, [&arguments](bool redacted) { return arguments.inputs(redacted); }, call,
                code))
            return code;
        arguments.fill(call.outputs);
        if (timing())
            std::this_thread::sleep_until(start + std::chrono::microseconds(call.microseconds));
        return call.result;
    }
};

} // namespace replay

#define REPLAY_EXPORT extern "C" __attribute__((visibility("default")))

#define REPLAY_CALLED(name, params, args)                                                          \
    REPLAY_EXPORT int64_t name params                                                              \
    {                                                                                              \
        return replay::Replayed{EntryPoint::name} args;                                            \
    }
#define REPLAY_UNCALLED(name)                                                                      \
    REPLAY_EXPORT int64_t name()                                                                   \
    {                                                                                              \
        return replay::Replayed{EntryPoint::name}();                                               \
    }

COMMON_INTERFACE_ENTRY_POINTS(REPLAY_CALLED, REPLAY_UNCALLED)
