// The floor readerctl is measured against: the device library loaded through
// the program's own loader and called directly, with nothing else.
//
//   readerctlbench heartbeat     open, one TerminalHeartBeat, close
//   readerctlbench identity N    open, N identity reads (IdReadCard), close
//
// The connection is the dialog's serial default. Prints nothing; the exit
// status is the last call's result (0 when all went well). The heap keeps
// what it grows to, as readerctl's does, so that a ratio is readerctl's own
// cost and not a difference in handing pages back to the system.
#include "loader.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <malloc.h>

int main(int argc, char *argv[])
{
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    char library[] = "libCommonInterface.so";
    if (argc < 2 || !LoadCommonInterface(library) || !pOpenDevice)
        return 3;
    if (pOpenDevice("COM/dev/ttyS3", "115200", "") <= 0)
        return 4;
    int64_t result = 0;
    if (std::strcmp(argv[1], "heartbeat") == 0) {
        result = pTerminalHeartBeat();
    } else {
        const long count = argc > 2 ? std::atol(argv[2]) : 1;
        std::vector<char> record(10240);
        for (long i = 0; i < count && result == 0; ++i) {
            std::memset(record.data(), 0, record.size());
            result = pIdReadCard(0, 1, record.data(), 0);
        }
    }
    pCloseDevice();
    return result == 0 ? 0 : 1;
}
