// Secure items: the store's operations forward to its secure-item area.
#include "store/VeskStore.h"

#include "store/SecureItems.h"

namespace vesk {

SecureItemSave VeskStore::addSecureItem(const QString& name, const QString& details, const QString& secret,
                                        const QString& note)
{
    assertMainThread();
    return m_secure->addSecureItem(name, details, secret, note);
}

SecureItemSave VeskStore::addCreditCard(const QString& name, const QString& details, const QString& number,
                                        const QString& expiration, const QString& code, const QString& note)
{
    assertMainThread();
    return m_secure->addCreditCard(name, details, number, expiration, code, note);
}

SecureItemSave VeskStore::updateSecureItem(const VeskItem& item, const QString& title, const QString& details,
                                           const QString& newSecret, const QString& note)
{
    assertMainThread();
    return m_secure->updateSecureItem(item, title, details, newSecret, note);
}

SecureItemSave VeskStore::updateCreditCard(const VeskItem& item, const QString& title, const QString& details,
                                           const QString& digits, const QString& expiration, const QString& cvv,
                                           const QString& note)
{
    assertMainThread();
    return m_secure->updateCreditCard(item, title, details, digits, expiration, cvv, note);
}

} // namespace vesk
