#pragma once

#include <QString>
#include <QUuid>

namespace vesk {

// One proposed title change for an item with a machine-made name: the title when the proposal was
// made, and the readable one that would replace it.
struct VeskFilenameCleanupCandidate {
    QUuid id;
    QString oldTitle;
    QString newTitle;

    friend bool operator==(const VeskFilenameCleanupCandidate&, const VeskFilenameCleanupCandidate&) = default;
};

} // namespace vesk
