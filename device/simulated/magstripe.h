// The simulated magnetic stripe card: three tracks of text as a reader hands
// them over, without start sentinel, end sentinel and check character.
//
// Track 1 holds the alphanumeric character set (space to '_', except the
// sentinels '%' and '?'), at most 76 characters; tracks 2 and 3 hold the
// numeric set ('0' to '9' and the separators ':', '<', '=', '>'), at most 37
// and 104 characters.
//
// A track selection is a decimal number whose digits name the tracks: 1, 23,
// 123 (or 321, 11). A selection with any other digit, 0 included, is not
// valid.
#pragma once

#include "errors.h"

#include <array>
#include <string>

namespace sim {

constexpr int magTrackCount = 3;

// The tracks a selection names, as bits: 1 for track 1, 2 for track 2, 4 for
// track 3; 0 when the selection is not valid.
unsigned magTracksSelected(unsigned char selection);

// Whether text may be written on a track (1 to 3): Ok, MagBadCharacter or
// MagTooLong.
device::Code checkMagTrack(int track, const char *text);

// Whether a write of these texts may go ahead: MagNoTrack, NullArgument for a
// selected track without a text, the first failed checkMagTrack(), or Ok.
device::Code checkMagWrite(unsigned char selection, const char *track1, const char *track2,
                           const char *track3);

// Longest text a track holds.
int magTrackCapacity(int track);

class MagneticCard
{
public:
    // The tracks as the card was encoded.
    MagneticCard();

    // Track 1 to 3.
    const std::string &track(int track) const;

    // Copies each selected track, with its terminating zero byte, into its
    // buffer; the other buffers are not touched (and may be null).
    device::Code read(unsigned char selection, char *track1, char *track2, char *track3) const;

    // Stores the selected tracks when every one of them may be written;
    // otherwise stores nothing. The texts of tracks not selected are ignored.
    device::Code write(unsigned char selection, const char *track1, const char *track2,
                       const char *track3);

private:
    std::array<std::string, magTrackCount> m_tracks;
};

} // namespace sim
