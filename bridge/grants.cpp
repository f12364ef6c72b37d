#include "grants.h"

namespace bridge {

namespace {
struct GrantText
{
    Grant grant;
    const char *name;
    const char *purpose;
};
const GrantText grantTexts[] = {
    {ReaderGrant, "reader", "使用读卡器"},
    {IdentityGrant, "identity", "读取身份证件信息"},
    {BankGrant, "bank", "读取银行卡信息"},
    {SsseGrant, "ssse", "读取社保卡信息"},
    {M1Grant, "m1", "读取M1卡"},
    {MagGrant, "mag", "读取磁条卡"},
    {QrGrant, "qr", "读取二维码"},
    {ApduGrant, "apdu", "向CPU卡发送APDU"},
    {FullGrant, "full", "读取完整的个人信息"},
};
} // namespace

Grant grantNamed(const QString &name)
{
    for (const GrantText &text : grantTexts)
        if (name == QLatin1String(text.name))
            return text.grant;
    return NoGrant;
}

QString grantName(Grant grant)
{
    for (const GrantText &text : grantTexts)
        if (text.grant == grant)
            return QString::fromLatin1(text.name);
    return {};
}

QStringList grantNames(Grants grants)
{
    QStringList names;
    for (const GrantText &text : grantTexts)
        if (grants & text.grant)
            names << QString::fromLatin1(text.name);
    return names;
}

QString grantPurpose(Grant grant)
{
    for (const GrantText &text : grantTexts)
        if (text.grant == grant)
            return QString::fromUtf8(text.purpose);
    return {};
}

} // namespace bridge
