// Bring Back delivery: nothing is scheduled yet, so nothing is due. The dates themselves are kept.
#include "store/VeskStore.h"

#include "platform/Uuid.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vesk {

namespace {
// Stored dates count seconds from 1 January 2001, as the loader reads them.
constexpr double kReferenceDateOffsetSeconds = 978'307'200.0;
} // namespace

void VeskStore::deliverDueBringBacks() {}
void VeskStore::clearBroughtBack(const QUuid&) {}

void VeskStore::saveBringBackDates()
{
    QJsonObject object;
    for (auto it = m_bringBackDates.cbegin(); it != m_bringBackDates.cend(); ++it)
        object.insert(uuidString(it.key()), double(it.value().toMSecsSinceEpoch()) / 1000.0 - kReferenceDateOffsetSeconds);
    m_services.settings->setData(bringBackDefaultsKey, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace vesk
