#pragma once
// A main window over a real store in a fresh library folder, with memory settings and short
// timers, for offscreen window tests.

#include "app/MainWindow.h"
#include "pane/ElidedLabel.h"
#include "common/StoreFixture.h"
#include "common/TestEnvironment.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "platform/ui/Theme.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"
#include "store/FaultInjection.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QUuid>
#include <gtest/gtest.h>
#include <memory>

namespace vesk::test {

class WindowTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        store = makeStore();
    }

    void TearDown() override
    {
        window.reset();
        store.reset();
        StoreFixture::TearDown();
    }

    // Replaces the store by one whose search passes wait an hour after each change of the text.
    void useStoreWithoutSearchPasses()
    {
        window.reset();
        store.reset();
        VeskServices s = services();
        s.lexicalSearchDelayMs = 3'600'000;
        s.deepSearchDelayMs = 3'600'000;
        store = std::make_unique<VeskStore>(s);
        store->waitForStartup();
    }

    // Replaces the store by one on a library that takes no writes: its file was made, then the
    // disk filled up. Call it through ASSERT_NO_FATAL_FAILURE.
    void useReadOnlyLibrary()
    {
        window.reset();
        store.reset();
        makeStore().reset(); // a library file to open read-only
        FileSizeLimit full(1);
        store = makeStore();
        ASSERT_TRUE(store->readOnlyReason());
    }

    MainWindow& makeWindow(MainWindowHooks hooks = {})
    {
        window = std::make_unique<MainWindow>(*store, settings, std::move(hooks));
        window->setTimings(shortTimings());
        return *window;
    }

    static WindowTimings shortTimings()
    {
        WindowTimings t;
        t.capturePulseMs = 60;
        t.intakeNoticeMs = 80;
        t.bringBackNoticeMs = 90;
        t.returnedBringBackNoticeMs = 200;
        return t;
    }

    static VeskItem makeItem(const QString& title, qint64 secs)
    {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.title = title;
        item.kind = VeskKind::Text;
        item.createdAt = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
        item.text = title;
        item.searchableText = title;
        return item;
    }

    static VeskIntakeNotice intakeNotice(const QString& title)
    {
        return VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Captured, title, std::nullopt, std::nullopt};
    }

    static VeskBringBackNotice bringBackNotice(VeskBringBackNoticeKind kind, const QString& title)
    {
        return VeskBringBackNotice{QUuid::createUuid(), kind, QUuid::createUuid(), title, std::nullopt};
    }

    std::unique_ptr<VeskStore> store;
    std::unique_ptr<MainWindow> window;
};

// Texts that do not show whole where the layout put them: a wrapped label taller than its
// place, a one-line label wider than it (unless it ends in "…", or is a text shortened to its
// width with "…" in its middle, on purpose), a shortened text that had room for the whole of
// it, and a text field whose height or width cannot hold its placeholder. Each is named by its
// text.
inline QStringList cutTexts(const QWidget* root)
{
    QStringList cut;
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root) || label->text().isEmpty())
            continue;
        if (const auto* elided = qobject_cast<const ElidedLabel*>(label)) {
            const bool shortened = elided->text() != elided->fullText();
            if (shortened ? elided->sizeHint().width() <= elided->width() || !elided->text().contains(QChar(0x2026))
                          : elided->sizeHint().width() > elided->width())
                cut << elided->text();
            continue;
        }
        const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                            : label->sizeHint().width() <= label->width()
                                                  || label->text().endsWith(QChar(0x2026));
        if (!fits)
            cut << label->text();
    }
    for (const QLineEdit* field : root->findChildren<QLineEdit*>()) {
        if (!field->isVisibleTo(root) || field->placeholderText().isEmpty())
            continue;
        const QFontMetrics metrics(field->font());
        if (field->height() < field->sizeHint().height()
            || metrics.horizontalAdvance(field->placeholderText()) + 20 > field->width())
            cut << field->placeholderText();
    }
    return cut;
}

} // namespace vesk::test
