#include "platform/NotificationCenter.h"

namespace vesk {

NotificationCenter& NotificationCenter::shared()
{
    static NotificationCenter* center = new NotificationCenter();
    return *center;
}

void NotificationCenter::post(const QString& name)
{
    emit posted(name);
}

} // namespace vesk
