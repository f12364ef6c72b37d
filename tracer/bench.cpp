// The tracer's cost per call: the same entry points called directly in the
// real library and through the tracer in front of it, tracing to a file.
// Run by `make bench-tracer`; prints nanoseconds per call and the ratio.
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using OpenDevice = int64_t(const char *, const char *, const char *);
using HeartBeat = int64_t();
using HexToAsc = int64_t(const unsigned char *, int64_t, char *);
using ReadCard = int64_t(int, int, char *, int);

struct Library
{
    OpenDevice *open;
    HeartBeat *heartBeat;
    HexToAsc *hexToAsc;
    ReadCard *readCard;
};

Library bind(const char *path)
{
    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "cannot open %s: %s\n", path, dlerror());
        std::exit(1);
    }
    return {reinterpret_cast<OpenDevice *>(dlsym(handle, "OpenDevice")),
            reinterpret_cast<HeartBeat *>(dlsym(handle, "TerminalHeartBeat")),
            reinterpret_cast<HexToAsc *>(dlsym(handle, "HexToAsc")),
            reinterpret_cast<ReadCard *>(dlsym(handle, "IdReadCard"))};
}

double nanosecondsPerCall(int calls, const std::function<void()> &call)
{
    call(); // warm up
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / calls;
}

} // namespace

int main()
{
    setenv("READER_SPY_LIBRARY", REAL_LIBRARY_PATH, 1);
    setenv("READER_SPY_LOG", TRACE_PATH, 1);
    const Library direct = bind(REAL_LIBRARY_PATH);
    const Library traced = bind(TRACER_PATH);
    direct.open("USB", "E4A50701", "");

    const unsigned char bytes[16] = {0x5A, 0x1F, 0xC3, 0x27};
    static char text[10240];
    struct Case
    {
        const char *name;
        int calls;
        std::function<void(const Library &)> call;
    };
    const Case cases[] = {
        {"TerminalHeartBeat (no arguments)", 200000, [](const Library &l) { l.heartBeat(); }},
        {"HexToAsc (16 bytes in, 33 out)", 200000,
         [&bytes](const Library &l) { l.hexToAsc(bytes, 16, text); }},
        {"IdReadCard (10240-byte record out)", 2000,
         [](const Library &l) { l.readCard(0, 1, text, 0); }},
    };
    std::printf("%-36s %12s %12s %12s %8s\n", "entry point", "direct ns", "traced ns", "added ns",
                "ratio");
    for (const Case &c : cases) {
        const double d = nanosecondsPerCall(c.calls, [&] { c.call(direct); });
        const double t = nanosecondsPerCall(c.calls, [&] { c.call(traced); });
        std::printf("%-36s %12.0f %12.0f %12.0f %8.1f\n", c.name, d, t, t - d, t / d);
    }
    std::printf("trace written to %s\n", TRACE_PATH);
    return 0;
}
