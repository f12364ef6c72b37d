// The readers pcscd knows, and which of them the port parameters choose.
// Reader names and attributes come from pcscd and its drivers and are read
// within the lengths they were given in.
#pragma once

#include "pcscchannel.h"

#include <array>
#include <string>
#include <vector>

namespace device {

struct PcscReaderState
{
    std::string name;
    bool hasCard = false;
};

// The readers in pcscd's order, each with whether a card is in it.
ChannelResult listReaders(PcscContext &context, std::vector<PcscReaderState> &readers);

// The names in a PC/SC multi-string ("a\0b\0\0"), read within length bytes.
std::vector<std::string> splitReaderNames(const char *names, std::size_t length);

// The main reader: for an empty selector the first reader with a card, else
// the first reader; otherwise the first whose name contains the selector.
// -1 when none fits.
int chooseReader(const std::vector<PcscReaderState> &readers, const std::string &selector);

// The readers of PSAM slots 11, 12 and 13 (-1: none). An extended parameter
// names them by fragments separated by ';', in slot order; without one,
// the readers whose names contain "SAM" take the slots in pcscd's order.
// The main reader never serves as a PSAM reader. Items of the form
// key=value (contactless=...) are no PSAM items.
std::array<int, 3> choosePsamReaders(const std::vector<PcscReaderState> &readers, int mainReader,
                                     const std::string &extended);

// The reader of the contactless interface (slots 41, 42 and the M1 field)
// when the device shows it as a reader of its own; -1 when the main reader
// serves it. The item contactless=FRAGMENT of the extended parameter names
// it (an empty fragment: none); without that item it is found by name (see
// contactlessPartner). Never the main reader or a PSAM reader.
int chooseContactlessReader(const std::vector<PcscReaderState> &readers, int mainReader,
                            const std::array<int, 3> &psam, const std::string &extended);

// The contactless half of the main reader of a dual-interface device, found
// by name: a reader whose name is the main reader's with a contactless word
// ("Contactless", "PICC", "CL") where the main one has a contact word
// ("Contact", "ICC") or none, compared word by word without case and without
// pcscd's trailing "NN NN" index. Several such readers: the one with the main
// reader's device index (the first NN), and none if that does not decide.
// -1 when there is no such reader, or the main reader is itself contactless.
int contactlessPartner(const std::vector<std::string> &names, int mainReader);

struct PcscReaderInfo
{
    std::string vendor;  // SCARD_ATTR_VENDOR_NAME, empty when not reported
    std::string type;    // SCARD_ATTR_VENDOR_IFD_TYPE, empty when not reported
    std::string version; // SCARD_ATTR_VENDOR_IFD_VERSION as "major.minor.build"
};

// The attributes the reader's driver reports, through a direct connection
// that needs no card.
ChannelResult readReaderInfo(PcscContext &context, const std::string &reader, PcscReaderInfo &info);

// Text attribute bytes up to their first zero byte, within length.
std::string attributeText(const unsigned char *bytes, std::size_t length);
// A version attribute (0xMMmmbbbb, in 4 or 8 bytes of host order): "M.m.b";
// empty for any other length.
std::string versionText(const unsigned char *bytes, std::size_t length);

// Ok while pcscd lists the reader, ReaderRemoved when it does not any more.
ChannelResult readerListed(PcscContext &context, const std::string &reader);

} // namespace device
