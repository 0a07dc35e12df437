#include "pane/VeskPreview.h"

#include "platform/Log.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"
#include "pane/BringBackControls.h"
#include "pane/ItemEditSheet.h"
#include "pane/PaneStyleSheet.h"
#include "pane/PreviewSections.h"
#include "pane/RelatedPanels.h"
#include "pane/SectionParts.h"
#include "pane/TagsRow.h"
#include "pane/VeskBringBackPicker.h"
#include "grid/ResultStatesWidgets.h"
#include "richtext/RichTextConversion.h"
#include "richtext/VeskRichTextController.h"
#include "store/VeskStore.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QCoreApplication>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The kind symbol centred on a 30-point tile with a faint fill.
class KindIcon : public QWidget {
public:
    KindIcon(QString symbol, QWidget* parent)
        : QWidget(parent)
        , m_symbol(std::move(symbol))
    {
        setFixedSize(30, 30);
        setObjectName(QStringLiteral("previewKindIcon"));
        // Read by tests; never shown, a symbol name means nothing to a user.
        setProperty("symbol", m_symbol);
    }
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Theme& theme = Theme::current();
        painter.fillPath(Painting::roundedRect(QRectF(rect()), 9), theme.primary(0.035));
        IconMap::paint(painter, QRectF(rect()), m_symbol, theme.secondary(), 18);
    }

private:
    QString m_symbol;
};

// The format word on a capsule of thin material.
class FormatBadge : public QLabel {
public:
    FormatBadge(const QString& text, QWidget* parent)
        : QLabel(text, parent)
    {
        setObjectName(QStringLiteral("previewFormatBadge"));
        QFont font = Theme::font(TextStyle::Caption);
        font.setWeight(QFont::DemiBold);
        setFont(font);
        setContentsMargins(9, 4, 9, 4);
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, Theme::current().secondary());
        setPalette(palette);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            Painting::fillMaterial(painter, Painting::capsule(QRectF(rect())), MaterialThickness::Thin);
        }
        QLabel::paintEvent(event);
    }
};

} // namespace

VeskPreview::VeskPreview(VeskStore& store, QWidget* parent)
    : VeskPreview(store, ImageCaches::fromProviders(store.services().thumbnails, store.services().preparedPreviews), parent)
{
}

VeskPreview::VeskPreview(VeskStore& store, ImageCaches caches, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_caches(std::move(caches))
    , m_editController(new VeskRichTextController(this))
    , m_open([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , m_scroll(new QScrollArea(this))
{
    setObjectName(QStringLiteral("veskPreview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The bar's width is kept for it at all times, and the bar hidden while there is nothing to
    // scroll: a related panel that makes the content taller than the pane then no longer narrows
    // it, which reflowed every text and painted the whole pane again as the reader looked at it.
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QScrollBar* bar = m_scroll->verticalScrollBar();
    bar->setVisible(false);
    connect(bar, &QScrollBar::rangeChanged, bar, [bar](int minimum, int maximum) {
        bar->setVisible(maximum > minimum);
    });
    m_scroll->viewport()->setAutoFillBackground(false);
    // The style rules of everything the pane shows, parsed once for the pane's life.
    m_scroll->setStyleSheet(previewPaneStyleSheet(Theme::current()));
    // Each item's content is made inside the holder and stays there until it goes: moving a
    // whole content in or out of the scroll area restyled every widget of it, twice a selection.
    m_holder = new QWidget;
    m_holder->setObjectName(QStringLiteral("previewHolder"));
    // Holder and content paint nothing of their own and keep their children at the top: a
    // change of their height (a related panel arriving) repaints what moved, not the header.
    m_holder->setAttribute(Qt::WA_StaticContents);
    m_holderLayout = new QVBoxLayout(m_holder);
    m_holderLayout->setContentsMargins(0, 0, 0, 0);
    m_holderLayout->setSpacing(0);
    m_scroll->setWidget(m_holder);
    connect(&m_store, &VeskStore::itemsChanged, this, &VeskPreview::onItemsChanged);
    // Colours are taken when the content is built: a new appearance builds it again.
    connect(&Theme::current(), &Theme::appearanceChanged, this, [this] {
        m_scroll->setStyleSheet(previewPaneStyleSheet(Theme::current()));
        rebuild();
    });
    connect(&m_store, &VeskStore::richTextByIDChanged, this, [this] {
        // A toggle the section itself reported is already on screen: no rebuild, no lost scroll.
        if (m_item && m_section == PreviewSection::Text && m_store.richText(m_item->id) != m_shownRichText)
            rebuild();
    });
}

void VeskPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient wash(0, 0, 0, height());
    wash.setColorAt(0, Theme::current().primary(0.012));
    wash.setColorAt(1, Qt::transparent);
    painter.fillRect(rect(), wash);
}

void VeskPreview::setSheets(Sheets sheets)
{
    m_sheets = std::move(sheets);
    rebuild();
}

ItemEditSheet* VeskPreview::openEditSheet(const VeskItem& item)
{
    // Always from what is stored now: an earlier sheet's unsaved text is gone.
    bool truncated = false;
    const std::unique_ptr<QTextDocument> text =
        editableAttributedString(m_store.richText(item.id), decodedText(item.text), &truncated);
    if (truncated) {
        // Shown as read; the store will not let its beginning replace the whole body.
        veskLog(QStringLiteral("Vesk rich-text read error: the body is longer than Vesk reads; only its "
                               "beginning can be edited and it cannot be saved"));
    }
    QPointer<VeskStore> store(&m_store);
    auto* sheet = new ItemEditSheet(
        item, *text, m_editController,
        [store](const QUuid& id, const QString& title, const QString& plainText, const std::optional<QByteArray>& rtf) {
            return store && store->saveItemEdits(id, title, plainText, rtf);
        },
        window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    return sheet;
}

void VeskPreview::setOpener(std::function<void(const QUrl&)> open)
{
    m_open = std::move(open);
}

void VeskPreview::setRichTextUpdater(std::function<void(const QUuid&, const QByteArray&)> update)
{
    m_updateRichText = std::move(update);
}

void VeskPreview::setSectionFactory(PreviewSection section, SectionFactory factory)
{
    m_sectionFactories.insert(int(section), std::move(factory));
    rebuild();
}

void VeskPreview::followSelection()
{
    if (m_followsSelection)
        return;
    m_followsSelection = true;
    auto follow = [this] {
        const auto& id = m_store.selectedID();
        const qsizetype index = id ? m_store.indexOfItem(*id) : -1;
        if (index < 0)
            clear();
        else
            setItem(m_store.items().at(index));
    };
    connect(&m_store, &VeskStore::selectedIDChanged, this, follow);
    follow();
}

void VeskPreview::setItem(const VeskItem& item)
{
    if (m_item && *m_item == item)
        return;
    if (!m_item || m_item->id != item.id)
        m_tagDraft.clear();
    m_item = item;
    rebuild();
}

void VeskPreview::clear()
{
    if (!m_item && m_content)
        return;
    m_item.reset();
    m_tagDraft.clear();
    rebuild();
}

void VeskPreview::onItemsChanged()
{
    if (!m_item)
        return;
    const qsizetype index = m_store.indexOfItem(m_item->id);
    if (index < 0)
        return; // the host decides what replaces a removed item
    setItem(m_store.items().at(index));
}

void VeskPreview::rebuild()
{
    // A fresh content widget per evaluation: whatever state the last one held goes with it.
    auto* content = new QWidget(m_holder);
    content->setObjectName(QStringLiteral("previewContent"));
    content->setAttribute(Qt::WA_StaticContents); // as the holder
    // At the width it will have from the start: its texts are measured at the width their
    // layout first gives them, and a whole text laid out at a default 100 points is costly.
    content->resize(m_scroll->viewport()->width(), content->height());
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(16);
    column->setAlignment(Qt::AlignTop);
    m_section = PreviewSection::None;
    int relatedAt = -1;

    if (m_item) {
        const VeskItem item = *m_item;
        column->addWidget(makeHeader(item, content));

        auto* title = new WrappingText(cleanedDisplayTitle(item), Theme::font(19, QFont::Bold),
            Theme::current().label(), 3, content);
        title->setObjectName(QStringLiteral("previewTitle"));
        column->addWidget(title);

        column->addWidget(new BringBackStatusPill(m_store, item, content), 0, Qt::AlignLeft);

        auto* tags = new TagsRow(m_store, item, m_tagDraft, content);
        connect(tags, &TagsRow::draftChanged, this, [this](const QString& draft) { m_tagDraft = draft; });
        column->addWidget(tags);

        column->addWidget(makeDivider(content));

        // The related panels go here on the next turn of the event loop: their queries over the
        // library and their rows would otherwise add to the frame that first shows the item.
        relatedAt = column->count();

        m_section = previewSection(item);
        PreviewSectionContext context;
        context.open = m_open;
        context.caches = &m_caches;
        context.settings = m_store.services().settings;
        context.audioBackend = m_audioBackend;
        context.saveVideoMoment = [store = QPointer<VeskStore>(&m_store), item](const QString& clip, double centre) {
            return store ? store->saveVideoMoment(clip, item, centre) : std::nullopt;
        };
        m_shownRichText.reset();
        if (m_section == PreviewSection::Text) {
            context.richText = m_store.richText(item.id);
            m_shownRichText = context.richText;
            const QUuid id = item.id;
            context.richTextChanged = [this, id](const QByteArray& rtf) {
                if (!m_item || m_item->id != id)
                    return;
                m_shownRichText = rtf;
                if (m_updateRichText)
                    m_updateRichText(id, rtf);
            };
        }
        QWidget* section = makePreviewSection(m_section, item, context, content);
        if (!section && m_sectionFactories.value(int(m_section)))
            section = m_sectionFactories.value(int(m_section))(item, content);
        if (section)
            column->addWidget(section);

        column->addSpacing(10);
        column->addStretch(1);
        auto* dates = makeDateRows(previewDateRows(item, fileCreationDate(item)), content);
        dates->setContentsMargins(0, 4, 0, 0);
        column->addWidget(dates, 0, Qt::AlignLeft);
    } else {
        column->setContentsMargins(0, 0, 0, 0);
        column->setAlignment(Qt::Alignment());
        auto* placeholder = new NoSelectionPlaceholder(content);
        placeholder->setObjectName(QStringLiteral("previewNoSelection"));
        column->addWidget(placeholder, 1);
    }

    // The same item changed in the store keeps the reader's place; another item starts at the top.
    const std::optional<QUuid> shownID = m_item ? std::optional<QUuid>(m_item->id) : std::nullopt;
    const int keptPosition = shownID && shownID == m_contentItemID ? m_scroll->verticalScrollBar()->value() : 0;
    // The previous content goes in a later turn of the event loop, after the timers already due:
    // a long text's document takes tens of milliseconds to free, which would add to the building
    // of the new one.
    if (QWidget* previous = m_content) {
        m_holderLayout->removeWidget(previous);
        previous->hide();
        QTimer::singleShot(0, previous, &QObject::deleteLater);
    }
    m_holderLayout->addWidget(content);
    content->show();
    m_content = content;
    m_contentItemID = shownID;
    if (keptPosition > 0) {
        // The content's layout first, then the holder's that takes its height, then the scroll
        // area's range: the kept position must fit in it.
        QCoreApplication::sendPostedEvents(content, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(m_holder, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents(m_scroll, QEvent::LayoutRequest);
        m_scroll->verticalScrollBar()->setValue(keptPosition);
    } else {
        m_scroll->verticalScrollBar()->setValue(0);
    }
    if (relatedAt >= 0) {
        // Held by the pane, not by the content: replaced content outlives the pane until its
        // deletion comes, and must not call back into a pane that is gone.
        QTimer::singleShot(0, this, [this, shown = QPointer<QWidget>(content), column, relatedAt] {
            if (shown)
                addRelatedPanels(shown, column, relatedAt);
        });
    }
    emit contentRebuilt();
}

void VeskPreview::addRelatedPanels(QWidget* content, QVBoxLayout* column, int at)
{
    // Content replaced meanwhile (and waiting for its deletion) has no use for them.
    if (content != m_content || !m_item)
        return;
    const VeskItem item = *m_item;
    column->insertWidget(at, new RelatedVersionsPanel(m_store, item, content));
    column->insertWidget(at + 1, new RelatedVesksPanel(m_store, item, content));
    emit relatedPanelsAdded();
}

QWidget* VeskPreview::makeHeader(const VeskItem& item, QWidget* parent)
{
    auto* header = new QWidget(parent);
    header->setObjectName(QStringLiteral("previewHeader"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(new KindIcon(previewKindSymbol(item), header));
    row->addStretch(1);

    row->addWidget(new BringBackMenuButton(m_store, item, [this] { openBringBackPicker(); }, header));

    if (showsEditButton(item)) {
        auto* edit = borderedButton(QStringLiteral("Edit"), QStringLiteral("pencil"), header, true);
        edit->setToolTip(QStringLiteral("Edit this Vesk"));
        edit->setObjectName(QStringLiteral("previewEditButton"));
        connect(edit, &QPushButton::clicked, this, [this, item] {
            if (m_sheets.edit)
                m_sheets.edit(this, item);
            else
                openEditSheet(item);
        });
        row->addWidget(edit);
    }
    if (showsEditImageButton(item) && m_sheets.editImage) {
        auto* editImage = borderedButton(QStringLiteral("Edit Image"), QStringLiteral("slider.horizontal.3"), header, true);
        editImage->setToolTip(QStringLiteral("Create a non-destructive edited version"));
        editImage->setObjectName(QStringLiteral("previewEditImageButton"));
        connect(editImage, &QPushButton::clicked, this, [this, item] { m_sheets.editImage(this, item); });
        row->addWidget(editImage);
    }
    if (showsFormatBadge(item))
        row->addWidget(new FormatBadge(previewFormatLabel(item), header));
    return header;
}

void VeskPreview::openBringBackPicker()
{
    if (!m_item || m_bringBackPicker)
        return;
    const VeskItem item = *m_item;
    QPointer<VeskStore> store(&m_store);
    auto* picker = new VeskBringBackPicker(
        item, m_store.scheduledBringBackDate(item.id),
        [store, item](const QDateTime& date) {
            if (store)
                store->setBringBack(item, date);
        },
        [store, item] {
            if (store)
                store->cancelBringBack(item);
        },
        m_store.services().clock, window());
    picker->setAttribute(Qt::WA_DeleteOnClose);
    m_bringBackPicker = picker;
    picker->open();
}

} // namespace vesk
