#include "platform/Uuid.h"

namespace vesk {

QString uuidString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseUuid(const QString& text)
{
    // Only the 36-character form, every digit hexadecimal; checked by hand, without a pattern,
    // since start-up reads one identifier or more for each row of the library.
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < 36; ++i) {
        const char16_t c = text[i].unicode();
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-')
                return std::nullopt;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

} // namespace vesk
