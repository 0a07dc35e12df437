#include "platform/PublicSuffixes.h"

#include <QByteArray>
#include <QString>

#include <libpsl.h>

namespace vesk {

namespace {

// Loaded once; the list is only read afterwards, which libpsl allows from any thread.
const psl_ctx_t* suffixList()
{
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

} // namespace

bool isUnderPublicSuffix(QStringView host)
{
    const psl_ctx_t* list = suffixList();
    if (!list || host.isEmpty() || host.startsWith(QLatin1Char('.')) || host.endsWith(QLatin1Char('.')))
        return false;
    const QByteArray name = host.toString().toLower().toUtf8();
    // The registries' own suffixes only: names that companies hand out below their domains
    // ("github.io") are domains here too. Without the list's catch-all rule an unknown last label
    // is no suffix at all, so "notes.draft" is not taken for a domain.
    constexpr int kKnownOnly = PSL_TYPE_ICANN | PSL_TYPE_NO_STAR_RULE;
    if (psl_is_public_suffix2(list, name.constData(), kKnownOnly))
        return false;
    for (qsizetype dot = name.indexOf('.'); dot >= 0; dot = name.indexOf('.', dot + 1)) {
        if (psl_is_public_suffix2(list, name.constData() + dot + 1, kKnownOnly))
            return dot > 0 && name[dot - 1] != '.';
    }
    return false;
}

} // namespace vesk
