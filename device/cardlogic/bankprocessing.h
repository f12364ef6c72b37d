// Initiating the application: GET PROCESSING OPTIONS with the PDOL's data,
// the records the AFL names, and the card data of IccGetCardInfo. The
// parsers are pure functions over the card's bytes.
#pragma once

#include "banksession.h"

#include <map>
#include <optional>

namespace device::payment {

// The answer to GET PROCESSING OPTIONS: format 1 (80: AIP and AFL) or
// format 2 (template 77). A format 2 answer may carry the cryptogram of the
// quick contactless flow: 9F26 (8 bytes) with 9F27 (1) and 9F36 (2), and
// 9F10 when the card sends it. Nothing when the answer is malformed, has no
// two-byte AIP, or carries an incomplete cryptogram.
struct ProcessingOptions
{
    Bytes aip, afl;
    std::map<Tag, Bytes> objects; // every primitive object of template 77
    bool withCryptogram = false;
};
std::optional<ProcessingOptions> parseProcessingOptions(const Bytes &answer);

// GET PROCESSING OPTIONS for the PDOL's data: template 83 with BER's long
// length form from 128 bytes on. Nothing when the data does not fit a short
// command.
std::optional<Bytes> processingOptionsCommand(const Bytes &pdolData);

// GET PROCESSING OPTIONS for the selected application, then every record its
// AFL names; fills the session's AIP, objects and quick. refused when the
// card answers 6985 (the application does not go on with this transaction).
Code initiateProcessing(PaymentSession &session, const std::map<Tag, Bytes> &terminal,
                        bool &refused);

} // namespace device::payment
