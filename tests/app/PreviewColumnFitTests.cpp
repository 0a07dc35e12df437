// The preview column at the widths the user can drag it to, with an item of each kind: nothing of
// the pane runs past the column's right edge, where it would be cut off with nothing to scroll to.
#include "AppTestSupport.h"

#include "app/LibraryContent.h"
#include "pane/PreviewHeader.h"
#include "pane/SplitLayout.h"
#include "pane/VeskActivityPreview.h"
#include "pane/VeskPhotoNotePreview.h"
#include "pane/VeskPreview.h"
#include "platform/ui/ControlStyles.h"
#include "richtext/RichTextRtf.h"
#include "secureview/SecureVeskPreview.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScrollArea>
#include <QTest>
#include <QTextDocument>

namespace vesk::test {
namespace {

// Whether what a scroll area inside the pane shows holds w: it may be wider than its window and
// scroll sideways (the tag chips).
bool scrollsInside(const QWidget* w, const QWidget* content)
{
    for (const QWidget* at = w->parentWidget(); at && at != content; at = at->parentWidget()) {
        const auto* area = qobject_cast<const QAbstractScrollArea*>(at->parentWidget());
        if (area && area->viewport() == at)
            return true;
    }
    return false;
}

// The shown widgets of the pane's content that are wider than the column allows or that stick
// out of the widget holding them, each with the points it is short of.
QStringList outOfColumn(const QWidget* content, int column)
{
    QStringList out;
    if (content->width() > column)
        out << QStringLiteral("the content is %1 wide in a column of %2").arg(content->width()).arg(column);
    for (const QWidget* w : content->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(content) || scrollsInside(w, content))
            continue;
        const QWidget* parent = w->parentWidget();
        const int over = std::max(w->geometry().right() + 1 - parent->width(), -w->x());
        if (over > 0) {
            out << QStringLiteral("%1 %2 (%3) runs %4 past %5")
                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                            w->property("text").toString())
                       .arg(over)
                       .arg(parent->objectName());
        }
    }
    return out;
}

// The section of that type on show; a replaced one waits hidden until it is deleted.
template <typename T>
const T* shown(const QWidget* content)
{
    for (const T* section : content->findChildren<T*>()) {
        if (section->isVisibleTo(content))
            return section;
    }
    return nullptr;
}

class PreviewColumnFitTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Every item is like every other: the "This reminds me of…" panel shows its rows.
        embeddings->fallback = QList<double>{1.0, 0.0, 0.0};
        folder = makeTempDirectory(QStringLiteral("kinds"));
        qApp->setStyleSheet(applicationStyleSheet(Theme::current()));
    }
    void TearDown() override
    {
        qApp->setStyleSheet(QString());
        WindowTest::TearDown();
    }

    VeskItem add(VeskItem item)
    {
        EXPECT_TRUE(store->commitNewItem(item)) << item.title.toStdString();
        return item;
    }
    VeskItem addFile(const QString& name, VeskKind kind = VeskKind::File, const QByteArray& bytes = "bytes")
    {
        return add(StoreFixture::makeItem(name, 1'700'000'000, kind, writeFile(folder + QLatin1Char('/') + name, bytes)));
    }

    QString folder;
};

TEST_F(PreviewColumnFitTest, EveryKindFitsTheColumnFromNarrowestToWidest)
{
    const QString longTitle = QStringLiteral("Quarterly planning review with the whole regional team and partners");
    VeskItem note = makeItem(longTitle, 1'700'000'000);
    note.text = QStringLiteral("Agenda for the review #planning #quarterly #team-offsite\nhttps://www.example.co.uk/a/very/"
                               "long/address/that/has/no/spaces/at/all/to/break/it");
    note.searchableText = *note.text;
    note = add(note);
    store->addManualTag(QStringLiteral("handmade"), note);

    VeskItem rich = add(makeItem(QStringLiteral("Rich plan"), 1'700'000'100));
    auto document = makeRichTextDocument();
    document->setHtml(QStringLiteral("<h1>A heading</h1><p>Body line with <b>bold</b> words.</p>"));
    store->updateRichText(rich.id, documentToRtf(*document));

    VeskItem link = StoreFixture::makeItem(longTitle, 1'700'000'200, VeskKind::Url);
    link.urlString = QStringLiteral("https://www.bbc.co.uk/news/") + QString(QStringLiteral("segment")).repeated(20);
    link = add(link);

    QImage picture(640, 400, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString picturePath = folder + QStringLiteral("/Photo with a long name from the trip.png");
    ASSERT_TRUE(picture.save(picturePath));
    const VeskItem image = add(StoreFixture::makeItem(QStringLiteral("Photo with a long name from the trip.png"), 1'700'000'300,
                                        VeskKind::Image, picturePath));

    // Two versions of one deck: the versions panel shows too.
    const VeskItem slides = addFile(QStringLiteral("Quarterly review of the regional sales v2.key"));
    addFile(QStringLiteral("Quarterly review of the regional sales v1.key"));
    VeskItem slidesWithText = addFile(QStringLiteral("Roadmap.pptx"));
    slidesWithText.text = QStringLiteral("Slide one: where we are\nSlide two: where we go");
    slidesWithText.searchableText = *slidesWithText.text;
    ASSERT_TRUE(store->updateItem(slidesWithText));
    const VeskItem sheet = addFile(QStringLiteral("Budget.numbers"));
    const VeskItem audio = addFile(QStringLiteral("Interview recording.mp3"));
    const VeskItem video = addFile(QStringLiteral("Walk by the lake.mp4"));

    const QString activityPath = folder + QStringLiteral("/Walk.veskactivity");
    writeFile(activityPath + QStringLiteral("/docs/report with a rather long file name.pdf"), "report");
    writeFile(activityPath + QStringLiteral("/activity.json"),
              R"({"activity_type":"walk","started_at":"2025-06-01T08:30:00Z","location_summary":"Lake",
        "summary":"Morning walk","events":[
        {"eventID":"e1","kind":"note","createdAt":"2025-06-01T08:31:00Z","text":"cold"},
        {"eventID":"e2","kind":"file","createdAt":"2025-06-01T08:40:00Z",
         "relativePath":"docs/report with a rather long file name.pdf"}]})");
    const VeskItem activity =
        add(StoreFixture::makeItem(QStringLiteral("Walk"), 1'700'000'400, VeskKind::Activity, activityPath));

    const QString notePath = folder + QStringLiteral("/Lake.vesknote");
    ASSERT_TRUE(QDir().mkpath(notePath + QStringLiteral("/media")));
    ASSERT_TRUE(picture.save(notePath + QStringLiteral("/media/a.png")));
    writeFile(notePath + QStringLiteral("/note.json"),
              R"({"schemaVersion":1,"kind":"note","text":"x","attachments":["media/a.png"]})");
    VeskItem package = StoreFixture::makeItem(QStringLiteral("Lake at dawn"), 1'700'000'500, VeskKind::Text, notePath);
    package.text = QStringLiteral("Lake at dawn");
    package = add(package);

    ASSERT_TRUE(store->addSecureItem(QStringLiteral("Router at the office"), QStringLiteral("admin"),
                                     QStringLiteral("tr0ub4dor&3"), QStringLiteral("the second floor")));
    const VeskItem secure = store->items().first();

    const struct {
        const char* kind;
        VeskItem item;
    } kinds[] = {
        {"text", note},         {"rich text", rich},   {"link", link},
        {"image", image},       {"file (SLIDES)", slides}, {"file (SLIDES) with contents", slidesWithText},
        {"file (SHEET)", sheet}, {"audio", audio},     {"video", video},
        {"activity", activity}, {"secure", secure},     {"package", package},
    };

    settings->setValue(QStringLiteral("veskPreviewPaneWidth"), 300.0);
    MainWindowState state(settings);
    LibraryContent content(*store, state, settings);
    content.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    content.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));
    VeskPreview* pane = content.preview();
    auto* scroll = pane->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);

    for (const int width : {300, 360, 700}) {
        content.split()->commitDrag(content.split()->previewWidth() - width);
        ASSERT_EQ(pane->width(), width);
        for (const auto& [kind, item] : kinds) {
            SCOPED_TRACE(testing::Message() << kind << " at " << width);
            store->select(item.id);
            // The packages are read on a worker and the related panels come on the next turn.
            ASSERT_TRUE(QTest::qWaitFor([&] {
                const auto* activityView = shown<VeskActivityPreview>(pane->content());
                const auto* noteView = shown<VeskPhotoNotePreview>(pane->content());
                return (!activityView || activityView->packageLoaded())
                       && (!noteView || !noteView->findChildren<QWidget*>(QStringLiteral("photoNoteCard")).isEmpty());
            }, 5000));
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents();
            ASSERT_EQ(pane->item()->id, item.id);
            EXPECT_EQ(outOfColumn(pane->content(), scroll->viewport()->width()).join(u'\n').toStdString(), "");
            EXPECT_EQ(cutTexts(pane->content()).join(u'\n').toStdString(), "");
            // Only the narrowest column asks the header's actions to leave out their symbols.
            if (width > 300)
                EXPECT_TRUE(pane->content()->findChild<PreviewHeader*>()->showsActionSymbols());
        }
    }
}

} // namespace
} // namespace vesk::test
