// A libCommonInterface.so whose connection test never comes back: it opens
// and closes at once, and TerminalHeartBeat sleeps for an hour. For the
// watchdog of a hung call.
#include <cstdint>
#include <unistd.h>

extern "C" {
__attribute__((visibility("default"))) int64_t OpenDevice(const char *, const char *, const char *)
{
    return 1;
}
__attribute__((visibility("default"))) int64_t CloseDevice()
{
    return 0;
}
__attribute__((visibility("default"))) int64_t TerminalHeartBeat()
{
    sleep(3600);
    return 0;
}
}
