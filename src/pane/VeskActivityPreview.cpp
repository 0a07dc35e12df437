#include "pane/VeskActivityPreview.h"
#include "pane/PaneIcons.h"

#include "platform/FutureDelivery.h"

#include "media/VeskAudioPlayerController.h"
#include "pane/ActivityPieces.h"
#include "pane/ElidedLabel.h"
#include "pane/ActivityTexts.h"
#include "pane/MediaPlayerViews.h"
#include "pane/SectionParts.h"
#include "pane/WrappingText.h"
#include "platform/ui/BusyIndicator.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/WorkPool.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

QFont semibold(qreal points)
{
    return Theme::font(points, QFont::DemiBold);
}

QFont semiboldStyle(TextStyle style)
{
    QFont font = Theme::font(style);
    font.setWeight(QFont::DemiBold);
    return font;
}

// Notes come from the phone as written: a long unbroken word wraps inside the column too.
WrappingText* makeSelectableText(const QString& text, qreal points, QWidget* parent)
{
    return new WrappingText(text, Theme::font(points), Theme::current().secondary(), 0, parent);
}

// The header card's faint accent-coloured box.
class AccentBox : public QFrame {
public:
    AccentBox(QWidget* content, QWidget* parent)
        : QFrame(parent)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(12, 12, 12, 12);
        layout->addWidget(content);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(Painting::roundedRect(QRectF(rect()), 12), Theme::current().accent(0.055));
    }
};

QWidget* makeHeaderCard(QWidget* parent)
{
    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    auto* symbol = new QLabel(content);
    symbol->setPixmap(paneSymbolPixmap(QStringLiteral("figure.walk.motion"), Theme::current().accent(), 22,
                                      content->devicePixelRatioF()));
    row->addWidget(symbol);
    auto* texts = new QWidget(content);
    auto* column = makeColumn(texts, 2);
    column->addWidget(makeWrappedLabel(QStringLiteral("Received from Vesk Mobile"),
        semiboldStyle(TextStyle::Subheadline), Theme::current().label(), texts));
    column->addWidget(makeWrappedLabel(QStringLiteral("One session, preserved as one Vesk."),
        Theme::font(TextStyle::Caption), Theme::current().secondary(), texts));
    row->addWidget(texts, 1);
    auto* card = new AccentBox(content, parent);
    card->setObjectName(QStringLiteral("activityHeaderCard"));
    return card;
}

QWidget* makeMetadataRow(const QString& label, const std::optional<QString>& value, int labelWidth, QWidget* parent)
{
    if (!value || value->trimmed().isEmpty())
        return nullptr;
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("activityMetadataRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 7, 0, 7);
    layout->setSpacing(12);
    QLabel* name = makeLabel(label, semibold(11.5), Theme::current().tertiary(), row);
    name->setFixedWidth(labelWidth);
    layout->addWidget(name, 0, Qt::AlignTop);
    WrappingText* text = makeWrappedLabel(*value, Theme::font(12), Theme::current().secondary(), row);
    text->setObjectName(QStringLiteral("activityMetadataValue"));
    layout->addWidget(text, 1, Qt::AlignTop);
    return row;
}

QWidget* makeMetadataCard(const VeskActivityManifest& manifest, qsizetype mediaCount, QWidget* parent)
{
    auto* content = new QWidget;
    auto* column = makeColumn(content, 0);
    const qint64 captured = manifest.captureCount.value_or(mediaCount);
    const std::pair<QString, std::optional<QString>> rows[] = {
        {QStringLiteral("Type"), manifest.activityType},
        {QStringLiteral("Started"), manifestDateText(manifest.startedAt)},
        {QStringLiteral("Finished"), manifestDateText(manifest.endedAt)},
        {QStringLiteral("Captured"), itemCountText(captured)},
        {QStringLiteral("Location"), manifest.locationSummary},
    };
    // The labels' column is 62 points, or as wide as its widest label where the font needs more.
    int labelWidth = 62;
    const QFontMetrics labelMetrics(semibold(11.5));
    for (const auto& row : rows)
        labelWidth = std::max(labelWidth, labelMetrics.boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft, row.first).width());
    for (const auto& [label, value] : rows) {
        if (QWidget* row = makeMetadataRow(label, value, labelWidth, content))
            column->addWidget(row);
    }
    auto* card = new PreviewBox(11, 0.025, 0.055, 0, content, parent);
    card->layout()->setContentsMargins(11, 0, 11, 0);
    card->setObjectName(QStringLiteral("activityMetadataCard"));
    return card;
}

// A caption-2 header over a list: the title, a flexible space and the count.
QWidget* makeListHeader(const QString& title, qint64 count, QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    QLabel* name = makeLabel(title, semiboldStyle(TextStyle::Caption2), Theme::current().tertiary(), header);
    name->setObjectName(QStringLiteral("activityListTitle"));
    row->addWidget(name);
    row->addStretch(1);
    QLabel* counted = makeLabel(itemCountText(count), Theme::font(TextStyle::Caption2), Theme::current().tertiary(), header);
    counted->setObjectName(QStringLiteral("activityListCount"));
    row->addWidget(counted);
    return header;
}

QWidget* makeTimeline(const QList<VeskActivityTimelineEvent>& events, const PreviewSectionContext& context,
                      QWidget* parent)
{
    auto* timeline = new QWidget(parent);
    timeline->setObjectName(QStringLiteral("activityTimeline"));
    auto* column = makeColumn(timeline, 9);
    column->addWidget(makeListHeader(QStringLiteral("Timeline"), events.size(), timeline));
    auto* rows = new QWidget(timeline);
    auto* rowColumn = makeColumn(rows, 8);
    for (const VeskActivityTimelineEvent& event : events)
        rowColumn->addWidget(makeActivityTimelineEventRow(event, context, rows));
    column->addWidget(rows);
    return timeline;
}

// Photo tiles in as many columns of 118 to 190 points as the width holds.
class PhotoGrid : public QWidget {
public:
    PhotoGrid(const QStringList& paths, const UrlOpener& open, QWidget* parent)
        : QWidget(parent)
        , m_grid(new QGridLayout(this))
    {
        m_grid->setContentsMargins(0, 0, 0, 0);
        m_grid->setHorizontalSpacing(8);
        m_grid->setVerticalSpacing(8);
        for (const QString& path : paths)
            m_tiles.append(new ActivityPhotoTile(path, open, this));
        // One column until the width is known: the grid must never make the pane wider.
        arrange(1);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        // As many columns as fit at least 118 points each.
        const int columns = std::max(1, (width() + 8) / (118 + 8));
        arrange(columns);
    }

private:
    void arrange(int columns)
    {
        if (columns == m_columns)
            return;
        m_columns = columns;
        for (ActivityPhotoTile* tile : std::as_const(m_tiles))
            m_grid->removeWidget(tile);
        for (qsizetype i = 0; i < m_tiles.size(); ++i)
            m_grid->addWidget(m_tiles.at(i), int(i / columns), int(i % columns));
        for (int c = 0; c < m_grid->columnCount(); ++c)
            m_grid->setColumnStretch(c, c < columns ? 1 : 0);
    }

    QGridLayout* m_grid;
    QList<ActivityPhotoTile*> m_tiles;
    int m_columns = 0;
};

QWidget* makePhotoGrid(const QStringList& paths, const PreviewSectionContext& context, QWidget* parent)
{
    auto* block = new QWidget(parent);
    block->setObjectName(QStringLiteral("activityPhotoGrid"));
    auto* column = makeColumn(block, 8);
    column->addWidget(makeListHeader(paths.size() == 1 ? QStringLiteral("Photo") : QStringLiteral("Photos"),
                                     paths.size(), block));
    column->addWidget(new PhotoGrid(paths, context.open, block));
    return block;
}

QWidget* makeFooter(const QString& packagePath, const PreviewSectionContext& context, QWidget* parent)
{
    auto* footer = new QWidget(parent);
    footer->setObjectName(QStringLiteral("activityFooter"));
    auto* column = makeColumn(footer, 10);
    column->addWidget(makeDivider(footer));
    auto* rowWidget = new QWidget(footer);
    auto* row = new QHBoxLayout(rowWidget);
    row->setContentsMargins(0, 0, 0, 0);
    // The button keeps its words; the caption beside it gives way in a narrow column.
    auto* caption = new ElidedLabel(QStringLiteral("Activity package"), Qt::ElideRight, rowWidget);
    caption->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    caption->setFont(semiboldStyle(TextStyle::Caption2));
    QPalette palette = caption->palette();
    palette.setColor(QPalette::WindowText, Theme::current().secondary());
    caption->setPalette(palette);
    row->addWidget(caption);
    row->addStretch(1);
    QPushButton* show = makeCapsuleButton(QStringLiteral("Show Package"), QStringLiteral("folder"), rowWidget);
    show->setObjectName(QStringLiteral("activityShowPackage"));
    QObject::connect(show, &QPushButton::clicked, show, [open = context.open, packagePath] {
        if (open)
            open(QUrl::fromLocalFile(packagePath));
    });
    row->addWidget(show);
    column->addWidget(rowWidget);
    return footer;
}

} // namespace

QWidget* makeActivityTimelineEventRow(const VeskActivityTimelineEvent& event, const PreviewSectionContext& context,
                                      QWidget* parent)
{
    auto* content = new QWidget;
    auto* column = makeColumn(content, 8);

    auto* header = new QWidget(content);
    header->setObjectName(QStringLiteral("activityEventHeader"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    const QString symbolName = activityEventSymbolName(event.kind);
    auto* symbol = new QLabel(header);
    symbol->setObjectName(QStringLiteral("activityEventSymbol"));
    symbol->setProperty("symbol", symbolName);
    symbol->setFixedWidth(18);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(paneSymbolPixmap(symbolName, Theme::current().accent(), 12, header->devicePixelRatioF()));
    row->addWidget(symbol);
    // One line: a long file name is cut at its end, and the title takes the room up to the time.
    auto* title = new ElidedLabel(activityEventTitle(event), Qt::ElideRight, header);
    title->setFont(semibold(12.5));
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, Theme::current().secondary());
    title->setPalette(titlePalette);
    title->setObjectName(QStringLiteral("activityEventTitle"));
    row->addWidget(title, 1);
    // A time the phone wrote in no known form is shown as written, and cut short when it is long.
    auto* time = new ElidedLabel(eventTimeText(event.createdAt), Qt::ElideRight, header);
    time->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    time->setFont(Theme::font(TextStyle::Caption2));
    QPalette timePalette = time->palette();
    timePalette.setColor(QPalette::WindowText, Theme::current().tertiary());
    time->setPalette(timePalette);
    time->setObjectName(QStringLiteral("activityEventTime"));
    row->addWidget(time);
    column->addWidget(header);

    const QString kind = event.kind.toLower();
    const std::optional<QString>& file = event.filePath;
    if (kind == QLatin1String("photo")) {
        if (file)
            column->addWidget(new ActivityPhotoTile(*file, context.open, content));
    } else if (kind == QLatin1String("note")) {
        if (event.text && !event.text->trimmed().isEmpty())
            column->addWidget(makeSelectableText(*event.text, 12.5, content));
    } else if (kind == QLatin1String("file")) {
        if (file && isAudioFilePath(*file)) {
            std::unique_ptr<AudioBackend> backend = context.audioBackend ? context.audioBackend() : makeSystemAudioBackend();
            column->addWidget(new VeskAudioPlayer(*file, QFileInfo(*file).fileName(), std::move(backend), content));
        } else if (file) {
            column->addWidget(new ActivityResourceCard(ActivityResourceCard::Kind::File, *file, context.open, content));
        }
    } else if (kind == QLatin1String("video")) {
        if (file) {
            column->addWidget(new ActivityDeferredVideoPlayer(*file, content));
            column->addWidget(new ActivityResourceCard(ActivityResourceCard::Kind::Video, *file, context.open, content));
        }
    } else if (event.text && !event.text->isEmpty()) {
        column->addWidget(makeWrappedLabel(*event.text, Theme::font(12.5), Theme::current().secondary(), content));
    }

    auto* box = new PreviewBox(11, 0.025, 0.055, 10, content, parent);
    box->setObjectName(QStringLiteral("activityEventRow"));
    box->setProperty("eventID", event.eventID);
    return box;
}

VeskActivityPreview::VeskActivityPreview(const VeskItem& item, PreviewSectionContext context, QWidget* parent)
    : QWidget(parent)
    , m_item(item)
    , m_context(std::move(context))
{
    setObjectName(QStringLiteral("activityPreview"));
    m_column = makeColumn(this, 14);
    keepTrailingInset();
    m_column->addWidget(makeSectionTitle(QStringLiteral("Activity"), this));
    m_column->addWidget(makeHeaderCard(this));

    m_loadingRow = new QWidget(this);
    m_loadingRow->setObjectName(QStringLiteral("activityLoading"));
    auto* loadingLayout = new QHBoxLayout(m_loadingRow);
    loadingLayout->setContentsMargins(0, 2, 0, 2);
    loadingLayout->setSpacing(7);
    loadingLayout->addWidget(new BusyIndicator(m_loadingRow));
    loadingLayout->addWidget(makeLabel(QStringLiteral("Loading activity\u2026"), Theme::font(TextStyle::Caption),
                                       Theme::current().tertiary(), m_loadingRow));
    loadingLayout->addStretch(1);
    m_column->addWidget(m_loadingRow);

    rebuildBody();
    if (item.filePath)
        m_column->addWidget(makeFooter(*item.filePath, m_context, this));

    if (!item.filePath) {
        present(VeskActivityPackageData{});
        return;
    }
    // The preview is made afresh for every item it shows, so a result reaching a preview that
    // is gone is dropped with it and can never stand in for a newer one.
    deliverResult(this, QtConcurrent::run(workPool(), loadActivityPackage, *item.filePath),
        [this](const VeskActivityPackageData& data) { present(data); });
}

void VeskActivityPreview::keepTrailingInset()
{
    // Layout margins are not mirrored: the inset on the trailing side, where the pane's scroll
    // bar is, is the left one in a right-to-left layout.
    if (layoutDirection() == Qt::RightToLeft)
        m_column->setContentsMargins(kTrailingInset, 0, 0, 0);
    else
        m_column->setContentsMargins(0, 0, kTrailingInset, 0);
}

void VeskActivityPreview::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LayoutDirectionChange)
        keepTrailingInset();
    QWidget::changeEvent(event);
}

void VeskActivityPreview::present(const VeskActivityPackageData& data)
{
    m_data = data;
    m_loaded = true;
    m_loadingRow->hide();
    rebuildBody();
    emit packageLoadedChanged();
}

void VeskActivityPreview::rebuildBody()
{
    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("activityBody"));
    auto* column = makeColumn(body, 14);
    const std::optional<VeskActivityManifest>& manifest = m_data.manifest;
    if (manifest)
        column->addWidget(makeMetadataCard(*manifest, m_data.mediaPaths.size(), body));

    const QString notes = notesText(manifest, m_item);
    if (!notes.isEmpty()) {
        auto* block = new QWidget(body);
        block->setObjectName(QStringLiteral("activityNotes"));
        auto* notesColumn = makeColumn(block, 5);
        notesColumn->addWidget(makeLabel(QStringLiteral("Notes"), semiboldStyle(TextStyle::Caption2),
                                         Theme::current().tertiary(), block));
        WrappingText* text = makeSelectableText(notes, 12.5, block);
        text->setObjectName(QStringLiteral("activityNotesText"));
        notesColumn->addWidget(text);
        column->addWidget(block);
    }

    if (manifest && manifest->events && !manifest->events->isEmpty() && m_data.packagePath)
        column->addWidget(makeTimeline(*manifest->events, m_context, body));
    else if (!m_data.mediaPaths.isEmpty())
        column->addWidget(makePhotoGrid(m_data.mediaPaths, m_context, body));

    if (m_body) {
        delete m_column->replaceWidget(m_body, body); // the old item is ours to delete
        delete m_body;
    } else {
        m_column->addWidget(body);
    }
    m_body = body;
}

} // namespace vesk
