// The social security card over a channel, no security module:
//   SELECT the application by DF name ("sx1.sh.社会保障" in GB18030)
//   SELECT EF05, the card file, inside the application; where the card keeps
//     it under the MF instead, it is read after the holder file
//   SELECT EF06, the holder file, inside the application
//   READ RECORD of each item in the current EF by record identifier (P2 00),
//     or by record number (P2 04) once the card refuses identifiers
// All of it in one transaction on the channel. No short EF identifiers: a
// card need not reach the application's files by SFI from elsewhere.
#pragma once

#include "channel.h"
#include "errors.h"

#include <QStringList>

#include <vector>

namespace device {

// Fields in the order of the card text record: card identification code,
// category, card version, initialising organisation, issue date, validity,
// card number, identity number, name, chip type, gender, ethnic group, place
// of birth, date of birth, generation. When fields are protected or missing,
// problem names them (in Chinese) and nothing is returned.
// A card present without the application or one of the files answers
// SocialSecurityMissingFile and names the file in problem.
Code readSocialSecurityCard(Channel &channel, QStringList &fields, QString &problem);

// How the card holds an item: binary shown as hex digits; BCD digits (dates,
// with F nibbles padding the end dropped); a one-byte number (its digit or
// letter when the byte is one); GB18030 text without its trailing blanks;
// the gender and ethnic group codes, named.
enum class SocialSecurityForm { Hex, Bcd, Number, Text, Gender, Ethnic };

// One item's value as the text record shows it. Pure, for any bytes.
QString socialSecurityFieldText(SocialSecurityForm form, const Bytes &value);

} // namespace device
