// The entry points of libCommonInterface.so, in the order they are bound.
//
// This list is the only place where the names are written. The loader's
// pointers and its binding loop, the simulated reader's exports and the test
// fake's exports are all expanded from it, so the three can never disagree.
//
// COMMON_INTERFACE_ENTRY_POINTS(CALLED, UNCALLED) expands
//   CALLED(Name, (typed parameters), (argument names))  for every operation the
//                                                      program calls, and
//   UNCALLED(Name)                                     for the names that are
//                                                      bound but never called.
// Every operation returns a signed 64-bit result code: 0 is success, anything
// else an error code; OpenDevice returns a positive device handle on success.
#pragma once

#include <cstdint>

#define COMMON_INTERFACE_ENTRY_POINTS(CALLED, UNCALLED)                                            \
    UNCALLED(SetTerminalLibrary)                                                                   \
    UNCALLED(SetAutoPara)                                                                          \
    CALLED(OpenDevice, (const char *portType, const char *portPara, const char *extendPara),       \
           (portType, portPara, extendPara))                                                       \
    UNCALLED(SetCurrentDevice)                                                                     \
    UNCALLED(GetCurrentDevice)                                                                     \
    CALLED(CloseDevice, (), ())                                                                    \
    CALLED(TerminalGetModel, (char *model), (model))                                               \
    CALLED(TerminalGetFirmVersion, (char *firmware, char *hardware), (firmware, hardware))         \
    CALLED(TerminalHeartBeat, (), ())                                                              \
    UNCALLED(GetLastRecvData)                                                                      \
    UNCALLED(IdFindCard)                                                                           \
    UNCALLED(IdSelectCard)                                                                         \
    UNCALLED(IdReadBaseMsg)                                                                        \
    UNCALLED(IdReadBaseFpMsg)                                                                      \
    UNCALLED(IdReadNewAppMsg)                                                                      \
    CALLED(IdReadSn, (unsigned char *serial, int64_t *length), (serial, length))                   \
    UNCALLED(IdApdu)                                                                               \
    UNCALLED(SdtFindCard)                                                                          \
    UNCALLED(SdtSelectCard)                                                                        \
    UNCALLED(SdtReadBaseMsg)                                                                       \
    UNCALLED(SdtReadBaseFpMsg)                                                                     \
    UNCALLED(SdtReadNewAppMsg)                                                                     \
    CALLED(SamGetStatus, (), ())                                                                   \
    UNCALLED(SamGetId)                                                                             \
    CALLED(SamGetIdStr, (char *samId), (samId))                                                    \
    CALLED(SdtSamGetStatus, (), ())                                                                \
    UNCALLED(SdtSamGetId)                                                                          \
    CALLED(SdtSamGetIdStr, (char *samId), (samId))                                                 \
    CALLED(IdReadCard, (int port, int mode, char *record, int flags), (port, mode, record, flags))  \
    CALLED(SdtReadCard, (int port, int mode, char *record, int flags), (port, mode, record, flags)) \
    UNCALLED(IdReadNewAddress)                                                                     \
    UNCALLED(SdtReadNewAddress)                                                                    \
    UNCALLED(IdCardGetRawInfo)                                                                     \
    UNCALLED(IdCardGetName)                                                                        \
    UNCALLED(IdCardGetNameEn)                                                                      \
    UNCALLED(IdCardGetGender)                                                                      \
    UNCALLED(IdCardGetGenderId)                                                                    \
    UNCALLED(IdCardGetNation)                                                                      \
    UNCALLED(IdCardGetNationId)                                                                    \
    UNCALLED(IdCardGetBirthDate)                                                                   \
    UNCALLED(IdCardGetAddress)                                                                     \
    UNCALLED(IdCardGetIdNumber)                                                                    \
    UNCALLED(IdCardGetSignOrgan)                                                                   \
    UNCALLED(IdCardGetBeginTerm)                                                                   \
    UNCALLED(IdCardGetValidTerm)                                                                   \
    UNCALLED(IdCardGetTypeFlag)                                                                    \
    UNCALLED(IdCardGetVersion)                                                                     \
    UNCALLED(IdCardGetFPBuffer)                                                                    \
    UNCALLED(IdCardGetPhotoFile)                                                                   \
    UNCALLED(IdCardGetPhotoBuffer)                                                                 \
    CALLED(MagRead,                                                                                \
           (unsigned char tracks, char *track1, char *track2, char *track3, unsigned char timeout), \
           (tracks, track1, track2, track3, timeout))                                              \
    CALLED(MagWrite,                                                                               \
           (unsigned char tracks, const char *track1, const char *track2, const char *track3,      \
            unsigned char timeout),                                                                \
           (tracks, track1, track2, track3, timeout))                                              \
    CALLED(QrRead, (char *content, unsigned char timeout), (content, timeout))                     \
    CALLED(CpuPowerOn, (unsigned char slot, unsigned char *atr, int64_t *atrLength),               \
           (slot, atr, atrLength))                                                                 \
    CALLED(CpuApdu,                                                                                \
           (unsigned char slot, int64_t commandLength, const unsigned char *command,               \
            unsigned char *response, int64_t *responseLength),                                    \
           (slot, commandLength, command, response, responseLength))                               \
    CALLED(CpuPowerOff, (unsigned char slot), (slot))                                              \
    CALLED(M1FindCard, (unsigned char *uid, int64_t *uidLength), (uid, uidLength))                 \
    CALLED(M1Authentication,                                                                       \
           (unsigned char keyType, unsigned char sector, const unsigned char *key,                 \
            const unsigned char *uid),                                                             \
           (keyType, sector, key, uid))                                                            \
    CALLED(M1ReadBlock, (unsigned char block, unsigned char *data, int64_t *dataLength),           \
           (block, data, dataLength))                                                              \
    CALLED(M1WriteBlock, (unsigned char block, int64_t dataLength, const unsigned char *data),     \
           (block, dataLength, data))                                                              \
    UNCALLED(M1Halt)                                                                               \
    UNCALLED(M0FindCard)                                                                           \
    UNCALLED(M0Authentication)                                                                     \
    UNCALLED(M0ReadBlock)                                                                          \
    UNCALLED(M0WriteBlock)                                                                         \
    UNCALLED(M0Halt)                                                                               \
    UNCALLED(FpCapFeature)                                                                         \
    UNCALLED(FpMatchFeature)                                                                       \
    CALLED(SsseReadCard, (int kind, char *record, char *errorText, int flags),                     \
           (kind, record, errorText, flags))                                                       \
    UNCALLED(SsseGetCardInfo)                                                                      \
    CALLED(IccGetCardInfo, (int kind, const char *reserved, const char *tags, char *cardData),     \
           (kind, reserved, tags, cardData))                                                       \
    CALLED(IccGetARQC,                                                                             \
           (int kind, const char *txData, const char *reserved, char *arqc, char *trAppData),      \
           (kind, txData, reserved, arqc, trAppData))                                              \
    CALLED(IccARPCExeScript,                                                                       \
           (int kind, const char *txData, const char *arpc, const char *trAppData,                 \
            char *scriptResult, char *tc),                                                         \
           (kind, txData, arpc, trAppData, scriptResult, tc))                                      \
    UNCALLED(IccVerifyScript)                                                                      \
    CALLED(IccGetTrDetail, (int kind, const char *reserved, char *log, int flags),                 \
           (kind, reserved, log, flags))                                                           \
    CALLED(IccGetLoadDetail, (int kind, const char *reserved, char *log, int flags),               \
           (kind, reserved, log, flags))                                                           \
    CALLED(HexToAsc, (const unsigned char *bytes, int64_t length, char *text),                     \
           (bytes, length, text))                                                                  \
    CALLED(AscToHex, (const char *text, int64_t count, unsigned char *bytes), (text, count, bytes))

// Helpers for expanding the list.
#define COMMON_INTERFACE_IGNORE_CALLED(name, params, args)
#define COMMON_INTERFACE_IGNORE_UNCALLED(name)
