// Quitting while work is under way: what the user brought in is kept, or said to be lost.
#include "common/Eventually.h"
#include "AppTestSupport.h"
#include "app/VeskApp.h"
#include "platform/Uuid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QTest>

namespace vesk::test {
namespace {

// A file of megabytes, its content told apart by fill, so that one is no duplicate of another.
QString bigFile(const QString& path, int megabytes, char fill)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    const QByteArray chunk(1 << 20, fill);
    for (int i = 0; i < megabytes; ++i)
        file.write(chunk);
    return path;
}

QStringList titlesOf(const QList<VeskItem>& items)
{
    QStringList titles;
    for (const VeskItem& item : items)
        titles.append(item.title);
    return titles;
}

TEST(VeskAppQuit, ControlQJustAfterABigFileIsDroppedKeepsTheFile)
{
    VeskServices services;
    services.settings = std::make_shared<MemorySettings>();
    services.clock = std::make_shared<FakeClock>();
    services.dataDirectory = makeTempDirectory(QStringLiteral("app-quit-import"));
    const QString source = bigFile(makeTempDirectory(QStringLiteral("dropped")) + QStringLiteral("/Holiday.zip"), 96, 'h');
    ASSERT_FALSE(source.isEmpty());
    const QPalette original = QApplication::palette();
    const QString originalAppearance = Theme::current().appearanceRawValue();
    {
        VeskApp app(services);
        // A desktop without a free Control+Alt+T would stop the test at its alert.
        app.summonHotKey().setFailureReporter([](const HotKeyFailure&) {});
        app.mainWindow().show();
        app.mainWindow().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&app.mainWindow()));
        app.store().waitForStartup();
        // Dropped, and Control+Q pressed while it is still copied.
        (void)app.store().importFile(source);
        ASSERT_EQ(app.store().importCountInProgress(), 1);
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &app.mainWindow();
        QTest::keyClick(focus, Qt::Key_Q, Qt::ControlModifier);
        ASSERT_EVENTUALLY(app.quitRequested(), 60'000);
        EXPECT_EQ(titlesOf(app.store().items()), QStringList{"Holiday"}) << "the quit waited for the copy";
    }
    // The next start finds it kept.
    VeskStore again(services);
    again.waitForStartup();
    EXPECT_EQ(titlesOf(again.items()), QStringList{"Holiday"});
    Theme::current().attachSettings(nullptr);
    Theme::current().setAppearanceRawValue(originalAppearance);
    QApplication::setPalette(original);
}

class QuitWhileImportingTest : public WindowTest {};

TEST_F(QuitWhileImportingTest, ACopyThatOutlastsTheWaitIsNamedBeforeTheWindowCloses)
{
    store->waitForStartup();
    const QString sources = makeTempDirectory(QStringLiteral("dropped"));
    QStringList asked;
    bool closeAnyway = false;
    MainWindowHooks hooks;
    hooks.confirmCloseWithUnfinishedImports = [&](const QStringList& names) {
        asked = names;
        return closeAnyway;
    };
    MainWindow& window = makeWindow(hooks);
    WindowTimings timings = shortTimings();
    timings.closeWaitsForImportsMs = 0; // a copy that takes longer than the quit waits
    window.setTimings(timings);
    window.show();

    const struct {
        const char* name;
        char fill;
        bool closeAnyway;
        QStringList afterwards; // the items once the copy has ended
    } cases[] = {
        // Kept open: the copy goes on and becomes its item.
        {"Holiday.zip", 'h', false, {"Holiday"}},
        // Closed anyway: the copy stops and leaves nothing behind.
        {"Wedding.zip", 'w', true, {"Holiday"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        asked.clear();
        closeAnyway = c.closeAnyway;
        QFuture<bool> imported = store->importFile(bigFile(sources + QLatin1Char('/') + QLatin1String(c.name), 64, c.fill));
        ASSERT_EQ(store->importCountInProgress(), 1);
        QCloseEvent close;
        QApplication::sendEvent(&window, &close);
        EXPECT_EQ(asked, QStringList{QLatin1String(c.name)});
        EXPECT_EQ(close.isAccepted(), c.closeAnyway);
        EXPECT_EQ(finished(imported), !c.closeAnyway);
        EXPECT_EQ(titlesOf(store->items()), c.afterwards);
    }
    const QStringList folders = QDir(dataDir + QStringLiteral("/Items")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_EQ(folders.size(), 1) << folders.join(QLatin1Char(' ')).toStdString();
}

} // namespace
} // namespace vesk::test
