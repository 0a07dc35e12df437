// Shows the library grid over a generated library for a look at it (not a test): run under
// xvfb-run or with QT_QPA_PLATFORM=offscreen; writes the window to the path given as the first
// argument after a short settle.
#include "CardsLibrary.h"

#include "platform/ui/Theme.h"
#include "grid/LibraryGridView.h"
#include "grid/ResultStatesWidgets.h"
#include "images/ThumbnailCache.h"
#include "richtext/RichTextConversion.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <memory>

using namespace vesk;

int main(int argc, char** argv)
{
    QTemporaryDir root;
    qputenv("VESK_DATA_DIR", (root.path() + "/data").toUtf8());
    qputenv("VESK_CONFIG_DIR", (root.path() + "/config").toUtf8());
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/cards-shot.png");
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("browse");
    if (mode.contains(QLatin1String("dark")))
        Theme::current().setAppearance(Appearance::Dark);
    app.setPalette(Theme::current().palette());

    VeskServices services;
    services.settings = std::make_shared<MemorySettings>();
    services.dataDirectory = root.path() + "/data";
    if (mode == QLatin1String("write")) {
        // Writes the generated library into the data folder given as the first argument, for the
        // real application to open.
        services.dataDirectory = output;
        VeskStore library(services.completed());
        for (const VeskItem& item : bench::makeCardsLibrary(300, output + "/Generated", 24))
            library.saveItemToDatabase(item);
        return 0;
    }
    auto thumbnails = std::make_shared<ThumbnailCache>(root.path() + "/thumbs");
    services.thumbnails = thumbnails;
    VeskStore store(services.completed());

    QList<VeskItem> items = bench::makeCardsLibrary(300, root.path() + "/library", 24);
    StoreInternals::setItems(store, items);
    StoreInternals::setFilteredItems(store, items);
    store.rebuildSearchIndex();
    {
        // One note with stored rich text, to see its snippet.
        QTextDocument document;
        QTextCursor cursor(&document);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.insertText(QStringLiteral("Packing list: "), bold);
        cursor.insertText(QStringLiteral("passport, charger, the blue notebook and a warm jacket for the evenings."));
        if (const auto rtf = makeRTFData(document))
            store.setRichTextByID({{items[3].id, *rtf}});
    }

    QWidget window;
    window.resize(1400, 900);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Theme::current().windowBackground());
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    auto* row = new QHBoxLayout(&window);
    row->setContentsMargins(0, 12, 0, 0);
    auto* grid = new LibraryGridView(store, &window);
    row->addWidget(grid, 1);
    auto* placeholder = new NoSelectionPlaceholder(&window);
    placeholder->setFixedWidth(350);
    row->addWidget(placeholder);

    store.setBroughtBackIDs({items[1].id});
    if (mode.contains(QLatin1String("select"))) {
        grid->handleCardClick(items[3], Qt::NoModifier);
        grid->handleCardClick(items[5], Qt::ControlModifier);
        grid->handleCardClick(items[6], Qt::ControlModifier);
    }
    if (mode.contains(QLatin1String("search"))) {
        store.setSearchText(QStringLiteral("harbour"));
    }
    if (mode.contains(QLatin1String("empty"))) {
        StoreInternals::setFilteredItems(store, {});
        store.setSearchText(QStringLiteral("zzz"));
    }
    if (mode.contains(QLatin1String("pulse")))
        grid->setCapturePulseID(items[0].id);
    window.show();

    QTimer::singleShot(1800, &app, [&] {
        window.grab().save(output);
        app.quit();
    });
    return app.exec();
}
