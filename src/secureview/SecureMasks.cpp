#include "secureview/SecureMasks.h"

#include "platform/Graphemes.h"
#include "secure/CardRules.h"

#include <algorithm>

namespace vesk {

namespace {
const QChar kBullet(0x2022);
}

QString maskedSecret(const QString& secret)
{
    return QString(std::clamp<qsizetype>(graphemeCount(secret), 8, 18), kBullet);
}

QString maskedCardNumber(const QString& number)
{
    return hasFifteenDigitPrefix(digitsOnly(number)) ? QStringLiteral("•••• •••••• •••••")
                                                      : QStringLiteral("•••• •••• •••• ••••");
}

QString maskedExpiration()
{
    return QStringLiteral("••/••");
}

QString maskedCode(const QString& code)
{
    return QString(std::max<qsizetype>(graphemeCount(code), 3), kBullet);
}

} // namespace vesk
