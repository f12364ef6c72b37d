#include "records.h"

#include "operation.h"

IdentityDisplay identityDisplay(const QStringList &fields)
{
    IdentityDisplay display;
    display.name = recordField(fields, 1);
    display.gender = recordField(fields, 3);
    display.nation = recordField(fields, 5);
    display.birthday = recordField(fields, 7);
    display.address = recordField(fields, 8);
    display.idNumber = recordField(fields, 9);
    display.signOrg = recordField(fields, 10);
    if (fields.size() > 11)
        display.validity =
            recordField(fields, 11) + QStringLiteral(" - ") + recordField(fields, 12);

    // Only the first character of the type flag selects the extra fields.
    const QString typeFlag = recordField(fields, 0);
    display.other = QStringLiteral("证件类型标识：") + typeFlag;
    const QChar kind = typeFlag.isEmpty() ? QChar() : typeFlag.at(0);
    if (kind == QLatin1Char('I')) {
        display.other += QStringLiteral("  英文姓名：") + recordField(fields, 2)
                         + QStringLiteral("  证件版本号：") + recordField(fields, 13);
    } else if (kind == QLatin1Char('J')) {
        display.other += QStringLiteral("  通行证号码：") + recordField(fields, 6)
                         + QStringLiteral("  签发次数：") + recordField(fields, 13);
    }
    display.photo = recordField(fields, 14);
    return display;
}

std::array<QString, 13> socialSecurityDisplay(const QStringList &fields)
{
    std::array<QString, 13> display;
    for (std::size_t i = 0; i < display.size(); ++i)
        display[i] = recordField(fields, socialSecurityFieldIndexes[i]);
    return display;
}
