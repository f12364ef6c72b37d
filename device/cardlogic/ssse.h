// The social security card over a channel: its card file (EF05 under the MF)
// and its holder file (SFI 08 of the application selected by DF name), read
// field by field with READ RECORD by record identifier, no security module.
#pragma once

#include "channel.h"
#include "errors.h"

#include <QStringList>

namespace device {

// Fields in the order of the card text record: card identification code,
// category, card version, initialising organisation, issue date, validity,
// card number, identity number, name, chip type, gender, ethnic group, place
// of birth, date of birth, generation. When fields are protected or missing,
// problem names them (in Chinese) and nothing is returned.
Code readSocialSecurityCard(Channel &channel, QStringList &fields, QString &problem);

} // namespace device
