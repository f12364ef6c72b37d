// Copying bytes into the caller's buffers. The exports take no buffer sizes,
// so each kind of reply has a longest length the program's buffers take;
// a longer reply is refused with ReplyTooLong and nothing is written.
#pragma once

#include "channel.h"
#include "errors.h"

#include <algorithm>
#include <string>

namespace device {

// ISO 7816-3: at most 33 bytes; the program's buffer holds 128.
constexpr std::size_t longestAtr = 33;
// A reader frame holds at most 1024 bytes either way; so does the program's
// response buffer.
constexpr std::size_t longestApdu = 1024;
// ISO 14443 UIDs have 4, 7 or 10 bytes; the program's buffer holds 16.
constexpr std::size_t longestUid = 10;

inline Code copyReply(const Bytes &reply, std::size_t longest, unsigned char *out, int64_t *length)
{
    if (reply.size() > longest)
        return ReplyTooLong;
    std::copy(reply.begin(), reply.end(), out);
    *length = static_cast<int64_t>(reply.size());
    return Ok;
}

// The diagnostics' texts: the program's buffers hold 256 bytes with the
// terminating zero byte.
constexpr std::size_t longestText = 255;

// Copies a text from a reader (its name, its driver's attributes) with its
// zero byte, cut to longestText bytes at the start of a UTF-8 character.
inline void copyTextBounded(const std::string &text, char *out)
{
    std::size_t length = std::min(text.size(), longestText);
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), out);
    out[length] = '\0';
}

// The text operations write into buffers of this many bytes, zero included.
constexpr std::size_t textBufferSize = 4096;

// A whole text and its zero byte, or nothing and tooLong.
inline Code copyText(const std::string &text, char *out, Code tooLong)
{
    if (text.size() >= textBufferSize)
        return tooLong;
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = '\0';
    return Ok;
}

// As much of the text as fits, cut at the buffer's end (the record texts).
inline void copyTextCut(const std::string &text, char *out)
{
    const std::size_t length = std::min(text.size(), textBufferSize - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), out);
    out[length] = '\0';
}

} // namespace device
