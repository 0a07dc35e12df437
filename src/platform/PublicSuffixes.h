#pragma once
// Domain names under the public suffixes (top-level domains and the registries below them, such as
// "co.uk" or "com.au"), from the system's public suffix list.

#include <QStringView>

namespace vesk {

// Whether the host name ends in a known public suffix with at least one label in front of it
// ("www.bbc.co.uk", "example.de"); not a suffix alone ("co.uk") nor a name whose last label is no
// known domain ("notes.draft"). False when the system has no public suffix list.
bool isUnderPublicSuffix(QStringView host);

} // namespace vesk
