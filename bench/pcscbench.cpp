// The device library's overhead on a PC/SC reader: the same 1000 APDUs
// through CpuApdu (the library loaded through the program's own loader) and
// through SCardTransmit directly, on the same card behind the same pcscd, in
// one run. The two alternate in rounds so that both see the same machine.
//
//   pcscbench LIBRARY READER
#include "loader.h"

#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Apdu = std::vector<unsigned char>;

const std::vector<Apdu> commands{
    {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x03, 0x33, 0x01, 0x01, 0x01, 0x00},
    {0x00, 0xB2, 0x01, 0x0C, 0x00},
    {0x00, 0xA4, 0x00, 0x0C},
    {0x00, 0xFE, 0x00, 0x00, 0x00},
};

constexpr int rounds = 10;
constexpr int perRound = 100;

double throughLibrary(int count, int &failures)
{
    unsigned char response[1024];
    int64_t length = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const Apdu &command = commands[i % commands.size()];
        if (pCpuApdu(0x01, int64_t(command.size()), command.data(), response, &length) != 0)
            ++failures;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double direct(SCARDHANDLE card, DWORD protocol, int count, int &failures)
{
    const SCARD_IO_REQUEST *pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    unsigned char response[1024];
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const Apdu &command = commands[i % commands.size()];
        DWORD length = sizeof response;
        if (SCardTransmit(card, pci, command.data(), DWORD(command.size()), nullptr, response,
                          &length)
            != SCARD_S_SUCCESS)
            ++failures;
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pcscbench LIBRARY READER\n");
        return 2;
    }
    if (!LoadCommonInterface(argv[1]) || !pOpenDevice || !pCpuApdu || !pCpuPowerOn) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    unsigned char atr[128];
    int64_t atrLength = 0;
    if (pOpenDevice("PCSC", argv[2], "") <= 0 || pCpuPowerOn(0x01, atr, &atrLength) != 0) {
        std::fprintf(stderr, "no card in a reader named %s\n", argv[2]);
        return 1;
    }
    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS
        || SCardConnect(context, argv[2], SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                        &card, &protocol)
               != SCARD_S_SUCCESS) {
        std::fprintf(stderr, "SCardConnect to %s failed\n", argv[2]);
        return 1;
    }

    int failures = 0;
    throughLibrary(50, failures);
    direct(card, protocol, 50, failures);
    double library = 0;
    double pcsc = 0;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            library += throughLibrary(perRound, failures);
            pcsc += direct(card, protocol, perRound, failures);
        } else {
            pcsc += direct(card, protocol, perRound, failures);
            library += throughLibrary(perRound, failures);
        }
    }
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
    pCpuPowerOff(0x01);
    pCloseDevice();

    const int count = rounds * perRound;
    std::printf("%d APDUs through CpuApdu:      %8.1f ms (%6.1f us each)\n", count, library,
                library * 1000 / count);
    std::printf("%d APDUs through SCardTransmit: %8.1f ms (%6.1f us each)\n", count, pcsc,
                pcsc * 1000 / count);
    std::printf("ratio CpuApdu / SCardTransmit: %.3f (goal: at most 1.050)\n", library / pcsc);
    if (failures) {
        std::printf("%d exchanges failed\n", failures);
        return 1;
    }
    return 0;
}
