#include "pane/VeskPreview.h"

#include "platform/Log.h"
#include "platform/Timers.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "present/DisplayTitles.h"
#include "model/ItemFileKinds.h"
#include "pane/BringBackControls.h"
#include "pane/ItemEditSheet.h"
#include "pane/PaneStyleSheet.h"
#include "pane/PreviewHeader.h"
#include "pane/PreviewSections.h"
#include "pane/RelatedPanels.h"
#include "pane/SectionParts.h"
#include "pane/TagsRow.h"
#include "pane/VeskBringBackPicker.h"
#include "grid/ResultStatesWidgets.h"
#include "richtext/RichTextConversion.h"
#include "richtext/VeskRichTextController.h"
#include "store/VeskStore.h"

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
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The nested layouts between a section's innermost box and the scroll area: a section, its box,
// the content, the holder and the scroll area each take their size from the level inside.
constexpr int kLayoutLevels = 5;

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
    , m_open(systemDesktopOpener())
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
        rebuild(Renewal::Everything);
    });
    connect(&m_store, &VeskStore::richTextByIDChanged, this, [this] {
        // A toggle the section itself reported is already on screen: no rebuild, no lost scroll.
        if (m_item && m_section == PreviewSection::Text && m_store.richText(m_item->id) != m_shownRichText)
            rebuild(Renewal::Section);
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
    // A library opened for reading only refuses every edit; its reason says why.
    sheet->setFailureReason([store] { return store && store->readOnlyReason() ? *store->readOnlyReason() : QString(); });
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    return sheet;
}

void VeskPreview::setOpener(DesktopOpener open)
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
    rebuild(Renewal::Section);
}

void VeskPreview::followSelection()
{
    if (m_followsSelection)
        return;
    m_followsSelection = true;
    connect(&m_store, &VeskStore::selectedIDChanged, this, &VeskPreview::followSelectionOnce);
    showSelectedItem();
    if (m_store.startupIsFinished())
        prepareContentLater();
    else
        connect(&m_store, &VeskStore::startupFinished, this, &VeskPreview::prepareContentLater, Qt::SingleShotConnection);
}

void VeskPreview::prepareContentLater()
{
    m_prepareWait = m_store.services().timers->after(prepareContentDelayMs, this, [this] {
        m_prepareWait.reset();
        prepareContent();
    });
}

void VeskPreview::prepareContent()
{
    if (m_content)
        return;
    // Made for no item and kept hidden; the first item shown fills it as any later one does.
    makeContent(VeskItem{});
    m_content->hide();
    m_content->ensurePolished();
}

void VeskPreview::holdSelectionsMovedBySearch(std::function<bool()> movedBySearch)
{
    const bool connectNow = !m_movedBySearch;
    m_movedBySearch = std::move(movedBySearch);
    if (connectNow && m_movedBySearch)
        connect(&m_store, &VeskStore::searchTextChanged, this, &VeskPreview::noteSearchTyped);
}

void VeskPreview::noteSearchTyped()
{
    m_typedText = m_store.searchText();
    if (m_typingRest)
        m_typingRest->cancel();
    m_typingRest = m_store.services().timers->after(typingRestMs, this, [this] {
        m_typingRest.reset();
        if (std::exchange(m_selectionHeld, false))
            followSelectionOnce();
    });
}

void VeskPreview::followSelectionOnce()
{
    if (m_movedBySearch && m_movedBySearch()) {
        // The grid answers a key before the pane hears of it: the first key starts the rest here.
        if (m_store.searchText() != m_typedText)
            noteSearchTyped();
        if (m_typingRest) {
            m_selectionHeld = true;
            return;
        }
    }
    // The user's own choice is shown now, and makes a held one moot.
    m_selectionHeld = false;
    // The arrival's turn already takes in the item, draws its card and says so: building the pane
    // too (a long text's view, a film's player) held the window for more than a frame.
    if (m_store.selectingNewItem()) {
        showSelectedItemLater();
        return;
    }
    // Several captures landing in one turn each select their item: the first is shown at once,
    // the last of the others on the next turn, instead of the pane being built for every one
    // of them while the window waits.
    if (m_shownThisTurn) {
        if (!m_selectionWaiting) {
            m_selectionWaiting = true;
            QMetaObject::invokeMethod(this, [this] {
                m_selectionWaiting = false;
                showSelectedItem();
            }, Qt::QueuedConnection);
        }
        return;
    }
    m_shownThisTurn = true;
    QMetaObject::invokeMethod(this, [this] { m_shownThisTurn = false; }, Qt::QueuedConnection);
    showSelectedItem();
}

void VeskPreview::showSelectedItemLater()
{
    if (m_newItemWait)
        return;
    m_newItemWait = m_store.services().timers->after(newItemDelayMs, this, [this] {
        m_newItemWait.reset();
        const QScopedValueRollback sectionLater(m_sectionInTurnOfItsOwn, true);
        showSelectedItem();
    });
}

void VeskPreview::showSelectedItem()
{
    // Whatever is selected now is shown now; a new item's wait has nothing left to show.
    if (m_newItemWait) {
        m_newItemWait->cancel();
        m_newItemWait.reset();
    }
    const auto& id = m_store.selectedID();
    const qsizetype index = id ? m_store.indexOfItem(*id) : -1;
    if (index < 0)
        clear();
    else
        setItem(m_store.items().at(index));
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
    if (!m_item && m_emptyContent)
        return;
    m_item.reset();
    m_tagDraft.clear();
    rebuild();
}

void VeskPreview::onItemsChanged()
{
    if (!m_item) {
        releaseHiddenContent();
        return;
    }
    const qsizetype index = m_store.indexOfItem(m_item->id);
    if (index < 0)
        return; // the host decides what replaces a removed item
    setItem(m_store.items().at(index));
}

void VeskPreview::makeContent(const VeskItem& item)
{
    auto* content = new QWidget(m_holder);
    content->setObjectName(QStringLiteral("previewContent"));
    content->setAttribute(Qt::WA_StaticContents); // as the holder
    // At the width it will have from the start: its texts are measured at the width their
    // layout first gives them, and a whole text laid out at a default 100 points is costly.
    content->resize(m_scroll->viewport()->width(), content->height());
    m_column = new QVBoxLayout(content);
    m_column->setContentsMargins(22, 22, 22, 22);
    m_column->setSpacing(16);
    m_column->setAlignment(Qt::AlignTop);

    m_header = new PreviewHeader(m_store, item, content);
    connect(m_header, &PreviewHeader::editRequested, this, [this] {
        if (!m_item)
            return;
        const VeskItem item = *m_item;
        if (m_sheets.edit)
            m_sheets.edit(this, item);
        else
            openEditSheet(item);
    });
    connect(m_header, &PreviewHeader::editImageRequested, this, [this] {
        if (m_item && m_sheets.editImage) {
            const VeskItem item = *m_item;
            m_sheets.editImage(this, item);
        }
    });
    connect(m_header, &PreviewHeader::bringBackPickerRequested, this, &VeskPreview::openBringBackPicker);
    m_column->addWidget(m_header);

    m_title = new WrappingText(cleanedDisplayTitle(item), Theme::font(19, QFont::Bold), Theme::current().label(), 3,
        content);
    m_title->setObjectName(QStringLiteral("previewTitle"));
    m_column->addWidget(m_title);

    m_pill = new BringBackStatusPill(m_store, item, content);
    m_column->addWidget(m_pill, 0, Qt::AlignLeft);

    m_tags = new TagsRow(m_store, item, m_tagDraft, content);
    connect(m_tags, &TagsRow::draftChanged, this, [this](const QString& draft) { m_tagDraft = draft; });
    m_column->addWidget(m_tags);

    // The related panels come under the divider, and the item's section under them.
    m_column->addWidget(makeDivider(content));

    m_column->addSpacing(10);
    m_column->addStretch(1);
    m_dates = makeDateRows({}, content);
    m_dates->setContentsMargins(0, 4, 0, 0);
    m_column->addWidget(m_dates, 0, Qt::AlignLeft);

    m_versions = nullptr;
    m_reminds = nullptr;
    m_sectionWidget = nullptr;
    m_keptSections.clear();
    m_holderLayout->addWidget(content);
    m_content = content;
}

void VeskPreview::dropLater(QWidget* widget)
{
    // Out of the layout and hidden at once; deleted in a later turn of the event loop, after the
    // timers already due: a long text's document takes tens of milliseconds to free, which would
    // add to the showing of the next item.
    if (QLayout* layout = widget->parentWidget() ? widget->parentWidget()->layout() : nullptr)
        layout->removeWidget(widget);
    widget->hide();
    // A timer of its own: QTimer::singleShot(0, ...) is a posted call, run in the same pass over
    // the posted events as the change that dropped the widget, and a delete then paid for the
    // old preview's document before the window turned its loop. This one fires once the frame
    // is painted and the input that came meanwhile is handled.
    auto* later = new QTimer(widget);
    later->setSingleShot(true);
    QObject::connect(later, &QTimer::timeout, widget, &QObject::deleteLater);
    later->start(0);
}

void VeskPreview::dropContent()
{
    if (!m_content)
        return;
    dropLater(m_content);
    m_content = nullptr;
    m_filledFrom.reset();
    // Its parts go with it; the next item makes them again.
    m_column = nullptr;
    m_header = nullptr;
    m_title = nullptr;
    m_pill = nullptr;
    m_tags = nullptr;
    m_versions = nullptr;
    m_reminds = nullptr;
    m_dates = nullptr;
    m_sectionWidget = nullptr;
    m_keptSections.clear();
}

void VeskPreview::releaseHiddenContent()
{
    m_shownRichText.reset();
    if (!m_content)
        return;
    // The hidden content's parts hold copies of the last item shown (its texts and pictures): once
    // the store no longer holds the item, they are its only copies, kept for nothing.
    if (m_filledFrom && m_store.indexOfItem(*m_filledFrom) < 0) {
        dropContent();
        return;
    }
    // A section made for its item (a player, the view of a long or a rich text) is never shown for
    // another, and the document of a long text's view alone takes tens of megabytes.
    if (!m_sectionWidget)
        return;
    const QPointer<QWidget> kept = m_keptSections.value(int(m_sectionShown));
    if (m_sectionWidget == kept && !static_cast<RefillableSection*>(kept.data())->madeForItsItem())
        return;
    if (m_sectionWidget == kept)
        m_keptSections.remove(int(m_sectionShown));
    dropLater(m_sectionWidget);
    m_sectionWidget = nullptr;
}

void VeskPreview::rebuild(Renewal renewal)
{
    const std::optional<QUuid> shownID = m_item ? std::optional<QUuid>(m_item->id) : std::nullopt;
    const bool sameItem = shownID && shownID == m_contentItemID;
    // The same item changed in the store keeps the reader's place; another item starts at the top.
    const int keptPosition = sameItem ? m_scroll->verticalScrollBar()->value() : 0;
    ++m_showing;
    if (m_sectionWait) {
        m_sectionWait->cancel();
        m_sectionWait.reset();
    }
    bool sectionLater = false;
    m_section = PreviewSection::None;

    if (renewal == Renewal::Everything)
        dropContent();

    if (m_item) {
        const VeskItem item = *m_item;
        // The pane's widgets are made once and take each item's values: what the user could see
        // of the previous item (its texts and their selection, an open menu, a typed tag, its
        // related items) is replaced or hidden here.
        const bool fresh = !m_content;
        if (fresh)
            makeContent(item);
        m_filledFrom = item.id;
        m_header->setItem(item, bool(m_sheets.editImage));
        if (!fresh) {
            m_title->setText(cleanedDisplayTitle(item));
            m_tags->setItem(item, m_tagDraft);
        }
        m_pill->setItem(item);
        // Hidden now when they spoke of another item; they ask about this one on the next turn.
        if (m_versions) {
            m_versions->setItem(item);
            m_reminds->setItem(item);
        }

        const PreviewSection section = previewSection(item);
        m_shownRichText.reset();
        const PreviewSectionContext context = sectionContext(item, section);
        // Another item takes the section of its kind in place: the pictures, files, links and
        // short texts of one kind, shown last, wait hidden for the next. Players and the views of
        // long and rich texts are made for their item, and the same item changed in the store is
        // shown anew, as it always was.
        QWidget* shown = nullptr;
        QPointer<QWidget> kept = sectionRefills(section) ? m_keptSections.value(int(section)) : nullptr;
        if (renewal == Renewal::Reuse && !sameItem && kept) {
            if (static_cast<RefillableSection*>(kept.data())->refill(item, context))
                shown = kept;
        }
        if (m_sectionWidget && m_sectionWidget != shown) {
            if (m_sectionWidget == m_keptSections.value(int(m_sectionShown)) && m_sectionWidget != kept)
                m_sectionWidget->hide();
            else
                dropLater(m_sectionWidget);
        }
        if (kept && kept != shown) {
            m_keptSections.remove(int(section));
            if (kept != m_sectionWidget)
                dropLater(kept);
        }
        // A new item's section that has to be made (a player, a long text's view) is made and
        // styled now but shown a frame later, after the rest of the pane is painted: making,
        // showing and painting it with the rest held the window for more than a frame.
        if (!shown) {
            shown = makeSection(item, section, context);
            sectionLater = shown && m_sectionInTurnOfItsOwn;
            if (sectionLater) {
                shown->hide();
                shown->ensurePolished();
            }
        }
        // Shown only when hidden: showing lays a widget's children out at once, at whatever size
        // the widget has before the pane's layout has given it its own.
        if (shown && shown->isHidden() && !sectionLater)
            shown->show();
        m_sectionWidget = shown;
        m_section = section;
        m_sectionShown = section;
        m_dates->setRows(previewDateRows(item, fileCreationDate(item)));
        if (!fresh)
            relayoutUpTo(m_content, m_holder);

        if (m_emptyContent)
            m_emptyContent->hide();
        if (m_content->isHidden())
            m_content->show();
    } else {
        if (m_content)
            m_content->hide();
        releaseHiddenContent();
        if (!m_emptyContent) {
            m_emptyContent = new QWidget(m_holder);
            m_emptyContent->setObjectName(QStringLiteral("previewContent"));
            auto* column = new QVBoxLayout(m_emptyContent);
            column->setContentsMargins(0, 0, 0, 0);
            auto* placeholder = new NoSelectionPlaceholder(m_emptyContent);
            placeholder->setObjectName(QStringLiteral("previewNoSelection"));
            column->addWidget(placeholder, 1);
            m_holderLayout->addWidget(m_emptyContent);
        }
        m_emptyContent->show();
    }

    m_contentItemID = shownID;
    // The layouts are settled now, from a section's inner boxes up to the scroll area's range: a
    // layout that changes size asks its parent's in a later turn of the event loop, and the pane
    // painted in between with its parts out of place (an image box at a squeezed height, a date
    // row missing) and then once more. The kept position must fit in the settled range.
    settleLayouts();
    m_scroll->verticalScrollBar()->setValue(keptPosition);
    if (sectionLater) {
        m_sectionWait = m_store.services().timers->after(newItemDelayMs, this, [this, showing = m_showing] {
            m_sectionWait.reset();
            if (showing == m_showing && m_item)
                showSection();
        });
        return;
    }
    finishEvaluation();
}

void VeskPreview::settleLayouts()
{
    for (int level = 0; level < kLayoutLevels; ++level)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void VeskPreview::finishEvaluation()
{
    if (m_item) {
        // The related panels ask on the next turn of the event loop: their queries over the
        // library and their rows would otherwise add to the frame that first shows the item. An
        // item replaced before then asks nothing.
        QTimer::singleShot(0, this, [this, showing = m_showing] {
            if (showing == m_showing && m_item)
                askRelatedPanels();
        });
    }
    emit contentRebuilt();
}

PreviewSectionContext VeskPreview::sectionContext(const VeskItem& item, PreviewSection section)
{
    PreviewSectionContext context;
    context.open = [store = QPointer<VeskStore>(&m_store), open = m_open](const QUrl& url) {
        if (store)
            (void)openOrReport(*store, open, url);
    };
    context.caches = &m_caches;
    context.settings = m_store.services().settings;
    context.audioBackend = m_audioBackend;
    context.saveVideoMoment = [store = QPointer<VeskStore>(&m_store), item](
                                  const QString& clip, double centre) -> Expected<VeskItem, QString> {
        if (!store)
            return unexpected(QString());
        return store->saveVideoMoment(clip, item, centre);
    };
    if (section == PreviewSection::Text) {
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
    return context;
}

QWidget* VeskPreview::makeSection(const VeskItem& item, PreviewSection section, const PreviewSectionContext& context)
{
    QWidget* made = makePreviewSection(section, item, context, m_content);
    if (!made && m_sectionFactories.value(int(section)))
        made = m_sectionFactories.value(int(section))(item, m_content);
    if (!made)
        return nullptr;
    // Over the spacing and the stretch that keep the dates at the bottom, and at the width the
    // column will give it: it lays its texts out as it shows.
    m_column->insertWidget(m_column->indexOf(m_dates) - 2, made);
    const QMargins margins = m_column->contentsMargins();
    made->resize(std::max(0, m_content->width() - margins.left() - margins.right()), made->height());
    if (sectionRefills(section) && dynamic_cast<RefillableSection*>(made))
        m_keptSections.insert(int(section), made);
    return made;
}

void VeskPreview::showSection()
{
    if (m_sectionWidget && m_sectionWidget->isHidden())
        m_sectionWidget->show();
    relayoutUpTo(m_content, m_holder);
    settleLayouts();
    finishEvaluation();
}

bool VeskPreview::sectionRefills(PreviewSection section)
{
    switch (section) {
    case PreviewSection::Image:
    case PreviewSection::Text:
    case PreviewSection::Link:
    case PreviewSection::File: return true;
    default: return false;
    }
}

QWidget* VeskPreview::content() const
{
    return m_item ? m_content.data() : m_emptyContent.data();
}

void VeskPreview::askRelatedPanels()
{
    if (m_versions) {
        m_versions->refresh();
        m_reminds->refresh();
    } else {
        const VeskItem item = *m_item;
        const int at = m_column->indexOf(m_tags) + 2; // under the divider
        m_versions = new RelatedVersionsPanel(m_store, item, m_content);
        m_reminds = new RelatedVesksPanel(m_store, item, m_content);
        m_column->insertWidget(at, m_versions);
        m_column->insertWidget(at + 1, m_reminds);
    }
    emit relatedPanelsAdded();
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
