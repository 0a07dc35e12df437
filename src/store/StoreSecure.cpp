// Secure items: the store's operations forward to its secure-item area.
#include "store/VeskStore.h"

#include "store/SecureItems.h"

namespace vesk {

bool VeskStore::addSecureItem(const QString& name, const QString& details, const QString& secret, const QString& note)
{
    assertMainThread();
    return m_secure->addSecureItem(name, details, secret, note);
}

bool VeskStore::addCreditCard(const QString& name, const QString& details, const QString& number,
                              const QString& expiration, const QString& code, const QString& note)
{
    assertMainThread();
    return m_secure->addCreditCard(name, details, number, expiration, code, note);
}

bool VeskStore::updateSecureItem(const VeskItem& item, const QString& title, const QString& details,
                                 const QString& newSecret, const QString& note)
{
    assertMainThread();
    return m_secure->updateSecureItem(item, title, details, newSecret, note);
}

bool VeskStore::updateCreditCard(const VeskItem& item, const QString& title, const QString& details,
                                 const QString& digits, const QString& expiration, const QString& cvv,
                                 const QString& note)
{
    assertMainThread();
    return m_secure->updateCreditCard(item, title, details, digits, expiration, cvv, note);
}

const std::optional<KeychainError>& VeskStore::lastKeychainFailure() const
{
    return m_secure->lastKeychainFailure();
}

const std::optional<QString>& VeskStore::lastSecureItemRefusal() const
{
    return m_secure->lastLibraryRefusal();
}

} // namespace vesk
