#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// The activity identifier each activity item's own package names, remembered per item. Whether
// the library already holds an activity is decided by these identifiers, never by searchable
// text, where an identifier such as "park" can stand as an ordinary word. Shared between the
// main thread, which asks, and the import workers, which read the manifests it has not seen yet.
class ActivityIdentities {
public:
    struct HeldPackage {
        QUuid itemID;
        QString managedPath;
    };

    // The identifier the item's package names, trimmed; empty when it names none; none when its
    // manifest has not been read yet.
    std::optional<QString> identityOf(const QUuid& itemID) const;
    void remember(const QUuid& itemID, const QString& identity);
    // Reads the manifests of the packages not known yet. Worker side: it reads the disk.
    void learn(const QList<HeldPackage>& packages);

private:
    mutable QMutex m_mutex;
    QHash<QUuid, QString> m_identities;
};

} // namespace vesk
