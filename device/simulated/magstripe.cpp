// The magnetic stripe card of the simulated reader.
#include "magstripe.h"
#include "operations.h"
#include "scenario.h"

#include <cstring>

using namespace device;

namespace sim {
namespace {

// A synthetic bank-style card: PAN, name, expiry 2028-12, service code 201.
const char encodedTrack1[] = "B6999001234567897^SIMULATED/CARD^2812201000000000000000123000000";
const char encodedTrack2[] = "6999001234567897=28122011234500000";
const char encodedTrack3[] =
    "996999001234567897=1561560000000000003000000214000028120=000000000000=000000000000000000";

bool isTrack1Character(unsigned char c)
{
    return c >= 0x20 && c <= 0x5F && c != '%' && c != '?';
}

bool isNumericTrackCharacter(unsigned char c)
{
    return (c >= '0' && c <= '9') || c == ':' || c == '<' || c == '=' || c == '>';
}

bool selected(unsigned tracks, int track)
{
    return tracks & (1u << (track - 1));
}

// Whether a selected track comes without its buffer or text.
bool selectedTrackMissing(unsigned tracks, const char *track1, const char *track2,
                          const char *track3)
{
    return (selected(tracks, 1) && !track1) || (selected(tracks, 2) && !track2)
           || (selected(tracks, 3) && !track3);
}

// The card is swiped on demand and keeps what was written to it for the life
// of the process, as a real card would across closing the reader.
MagneticCard &swipedCard()
{
    static MagneticCard card;
    return card;
}

} // namespace

unsigned magTracksSelected(unsigned char selection)
{
    if (selection == 0)
        return 0;
    unsigned tracks = 0;
    for (unsigned rest = selection; rest != 0; rest /= 10) {
        const unsigned digit = rest % 10;
        if (digit < 1 || digit > magTrackCount)
            return 0;
        tracks |= 1u << (digit - 1);
    }
    return tracks;
}

int magTrackCapacity(int track)
{
    switch (track) {
    case 1:
        return 76;
    case 2:
        return 37;
    case 3:
        return 104;
    }
    return 0;
}

Code checkMagTrack(int track, const char *text)
{
    const std::size_t length = std::strlen(text);
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (track == 1 ? !isTrack1Character(c) : !isNumericTrackCharacter(c))
            return MagBadCharacter;
    }
    return length > static_cast<std::size_t>(magTrackCapacity(track)) ? MagTooLong : Ok;
}

Code checkMagWrite(unsigned char selection, const char *track1, const char *track2,
                   const char *track3)
{
    const unsigned tracks = magTracksSelected(selection);
    if (tracks == 0)
        return MagNoTrack;
    if (selectedTrackMissing(tracks, track1, track2, track3))
        return NullArgument;
    const char *const texts[magTrackCount] = {track1, track2, track3};
    for (int track = 1; track <= magTrackCount; ++track) {
        if (!selected(tracks, track))
            continue;
        const Code check = checkMagTrack(track, texts[track - 1]);
        if (check != Ok)
            return check;
    }
    return Ok;
}

MagneticCard::MagneticCard() : m_tracks{encodedTrack1, encodedTrack2, encodedTrack3} {}

const std::string &MagneticCard::track(int track) const
{
    return m_tracks.at(track - 1);
}

Code MagneticCard::read(unsigned char selection, char *track1, char *track2, char *track3) const
{
    const unsigned tracks = magTracksSelected(selection);
    if (tracks == 0)
        return MagNoTrack;
    if (selectedTrackMissing(tracks, track1, track2, track3))
        return NullArgument;
    char *const buffers[magTrackCount] = {track1, track2, track3};
    for (int track = 1; track <= magTrackCount; ++track) {
        if (selected(tracks, track))
            std::strcpy(buffers[track - 1], m_tracks[track - 1].c_str());
    }
    return Ok;
}

Code MagneticCard::write(unsigned char selection, const char *track1, const char *track2,
                         const char *track3)
{
    const Code check = checkMagWrite(selection, track1, track2, track3);
    if (check != Ok)
        return check;
    const unsigned tracks = magTracksSelected(selection);
    const char *const texts[magTrackCount] = {track1, track2, track3};
    for (int track = 1; track <= magTrackCount; ++track) {
        if (selected(tracks, track))
            m_tracks[track - 1] = texts[track - 1];
    }
    return Ok;
}
} // namespace sim

// The operations the exports call.
namespace device {
using namespace sim;

// The card keeps its tracks when the reader is closed.
void resetMagneticCard() {}

// The reader checks what it is asked for before it waits for the swipe; a
// timeout of 0 leaves no time to swipe at all. A slow reader's card comes as
// the timeout runs out.
int64_t MagRead(unsigned char tracks, char *track1, char *track2, char *track3,
                unsigned char timeout)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    const unsigned selection = magTracksSelected(tracks);
    if (selection == 0)
        return MagNoTrack;
    if (selectedTrackMissing(selection, track1, track2, track3))
        return NullArgument;
    if (timeout == 0)
        return Timeout;
    scenario::awaitPresentation(timeout);
    return swipedCard().read(tracks, track1, track2, track3);
}

int64_t MagWrite(unsigned char tracks, const char *track1, const char *track2, const char *track3,
                 unsigned char timeout)
{
    if (const Code refused = simulatedReaderOpen())
        return refused;
    const Code check = checkMagWrite(tracks, track1, track2, track3);
    if (check != Ok)
        return check;
    if (timeout == 0)
        return Timeout;
    scenario::awaitPresentation(timeout);
    return swipedCard().write(tracks, track1, track2, track3);
}

} // namespace device
