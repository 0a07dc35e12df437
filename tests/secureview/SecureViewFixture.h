#pragma once
// A store with keyring entries in memory and delays that move only when the test says so, for
// the secure views.

#include "common/StoreFixture.h"
#include "secureview/SecureVeskPreview.h"

#include <QCoreApplication>
#include <QLabel>

namespace vesk::test {

class SecureViewTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        store = makeStore();
    }
    void TearDown() override
    {
        store.reset();
        StoreFixture::TearDown();
    }

    VeskItem addPassword(const QString& title, const QString& secret, const QString& details = {},
                         const QString& note = {})
    {
        EXPECT_TRUE(store->addSecureItem(title, details, secret, note));
        return store->items().first();
    }
    VeskItem addCard(const QString& title, const QString& number, const QString& expiration, const QString& code)
    {
        EXPECT_TRUE(store->addCreditCard(title, QString(), number, expiration, code, QString()));
        return store->items().first();
    }

    // A preview that has read its values.
    std::unique_ptr<SecureVeskPreview> makePreview(const VeskItem& item)
    {
        auto preview = std::make_unique<SecureVeskPreview>(*store, item, timers);
        QCoreApplication::processEvents();
        return preview;
    }

    // The widget on show by that name (a replaced section lingers, hidden, until deleted later).
    template <typename T>
    static T* current(const QWidget& root, const QString& objectName)
    {
        for (T* widget : root.findChildren<T*>(objectName)) {
            if (widget->isVisibleTo(&root))
                return widget;
        }
        return nullptr;
    }
    static QString shown(const QWidget& root, const QString& objectName)
    {
        const QLabel* label = current<QLabel>(root, objectName);
        return label ? label->text() : QStringLiteral("<none>");
    }

    std::unique_ptr<VeskStore> store;
    std::shared_ptr<FakeTimers> timers = std::make_shared<FakeTimers>();
};

} // namespace vesk::test
