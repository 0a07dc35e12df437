#pragma once

#include "images/ImageCaches.h"
#include "pane/DesktopOpening.h"
#include "pane/PreviewKindDecision.h"
#include "model/VeskItem.h"

#include <QHash>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace vesk {

class AudioBackend;
class PendingDelay;
struct PreviewSectionContext;
class ItemEditSheet;
class BringBackStatusPill;
class PreviewDateRowsBlock;
class PreviewHeader;
class RelatedVersionsPanel;
class RelatedVesksPanel;
class TagsRow;
class WrappingText;
class VeskRichTextController;
class VeskStore;

// The preview pane of the focused item: header (kind icon, actions, format badge), title, a
// divider, the related panels, the one body section the item's content calls for, and the date
// rows. The widgets are made once and take the values of each focused item; a body section is
// made anew when the kind of section changes or it holds a player or a view made for its item.
// Nothing of the previous item's state survives that the user could see (selections, the scroll
// position, a typed tag, an open menu, related items); a change of the same item in the store (a
// rename, a new path) re-evaluates it.
class VeskPreview : public QWidget {
    Q_OBJECT
public:
    // The sheets the header's actions open. Edit opens the pane's own edit sheet unless replaced;
    // Edit Image shows only when its sheet is provided.
    struct Sheets {
        std::function<void(QWidget* pane, const VeskItem& item)> edit;
        std::function<void(QWidget* pane, const VeskItem& item)> editImage;
    };

    // Takes its picture caches from the store's services.
    explicit VeskPreview(VeskStore& store, QWidget* parent = nullptr);
    VeskPreview(VeskStore& store, ImageCaches caches, QWidget* parent = nullptr);

    void setItem(const VeskItem& item);
    // Shows nothing (no focused item).
    void clear();
    const std::optional<VeskItem>& item() const { return m_item; }

    // Follows the store's focused item (selectedID) by itself.
    void followSelection();
    // While the search text keeps changing, the selections for which movedBySearch answers true
    // (the top result following each key) are held back and only the last is shown, once the
    // typing has rested for typingRestMs: building the pane for every key added to the key's
    // own turn. A selection of the user's own is shown at once.
    static constexpr int typingRestMs = 250;
    void holdSelectionsMovedBySearch(std::function<bool()> movedBySearch);
    // A new item selects itself in the turn it arrives, with its card: its pane is built this
    // much later, in a turn of its own.
    static constexpr int newItemDelayMs = 16;
    // The pane's parts are made and styled this long after the library has started, while
    // nothing is shown: the first item shown otherwise paid for them in its own frame.
    static constexpr int prepareContentDelayMs = 200;

    void setSheets(Sheets sheets);
    // The Edit action: the "Edit Vesk" sheet over the window, opened on the item's stored title
    // and body (its plain text when it has no body), saving through the store.
    ItemEditSheet* openEditSheet(const VeskItem& item);
    // Opening files and links; QDesktopServices by default, replaced in tests. A refused open
    // is said in the store's failure notice.
    void setOpener(DesktopOpener open);
    // Stores an item's rich text after a checklist toggle in the text section.
    // The player behind audio sections (tests give a silent one).
    void setAudioBackendFactory(std::function<std::unique_ptr<AudioBackend>()> factory) { m_audioBackend = std::move(factory); }
    void setRichTextUpdater(std::function<void(const QUuid&, const QByteArray&)> update);
    // Builds the body of a section that views above the pane provide (the secure items' view).
    using SectionFactory = std::function<QWidget*(const VeskItem& item, QWidget* parent)>;
    void setSectionFactory(PreviewSection section, SectionFactory factory);

    // The section on show and the widget holding all of the current item's content (or the
    // placeholder shown without one).
    PreviewSection section() const { return m_section; }
    QWidget* content() const;

    // Opens the Bring Back date-and-time picker for the item on show.
    void openBringBackPicker();
    // The open picker, if any.
    QWidget* bringBackPicker() const { return m_bringBackPicker; }

signals:
    // The content of a new evaluation is in place: all but the related panels, which follow it
    // on the next turn of the event loop (relatedPanelsAdded).
    void contentRebuilt();
    void relatedPanelsAdded();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void followSelectionOnce();
    void noteSearchTyped();
    void showSelectedItem();
    void showSelectedItemLater();
    // Reuse: another item takes the widgets on show. Section: the body section is made anew.
    // Everything: all the content is made anew (the colours of a new appearance).
    enum class Renewal { Reuse, Section, Everything };
    void rebuild(Renewal renewal = Renewal::Reuse);
    void makeContent(const VeskItem& item);
    // What a section is made or refilled with; the text section's rich text is noted as shown.
    PreviewSectionContext sectionContext(const VeskItem& item, PreviewSection section);
    // The section of its kind for item, in the column, kept when it refills; none for no body.
    QWidget* makeSection(const VeskItem& item, PreviewSection section, const PreviewSectionContext& context);
    // A new item's section, made with the rest of its pane, is shown in the turn after it.
    void showSection();
    void settleLayouts();
    // The evaluation is whole: says so, and the related panels ask next.
    void finishEvaluation();
    void prepareContentLater();
    void prepareContent();
    // The content goes, with all its parts; the next item makes it again.
    void dropContent();
    // While no item shows: lets go of what the hidden content holds only for the last item.
    void releaseHiddenContent();
    static void dropLater(QWidget* widget);
    // Whether a section shows another item in place.
    static bool sectionRefills(PreviewSection section);
    void askRelatedPanels();
    void onItemsChanged();

    VeskStore& m_store;
    ImageCaches m_caches;
    // Shared by the edit sheet's toolbar and editor; the pane keeps it for its life.
    VeskRichTextController* m_editController = nullptr;
    Sheets m_sheets;
    DesktopOpener m_open;
    std::function<void(const QUuid&, const QByteArray&)> m_updateRichText;
    std::function<std::unique_ptr<AudioBackend>()> m_audioBackend;
    QHash<int, SectionFactory> m_sectionFactories;
    // The rich text the text section was built from (or last reported by it).
    std::optional<QByteArray> m_shownRichText;
    std::optional<VeskItem> m_item;
    PreviewSection m_section = PreviewSection::None;
    QScrollArea* m_scroll = nullptr;
    // The scroll area's one widget, holding the content on show.
    QWidget* m_holder = nullptr;
    QVBoxLayout* m_holderLayout = nullptr;
    // The item's content, made with the first item, and its parts.
    QPointer<QWidget> m_content;
    QVBoxLayout* m_column = nullptr;
    PreviewHeader* m_header = nullptr;
    WrappingText* m_title = nullptr;
    BringBackStatusPill* m_pill = nullptr;
    TagsRow* m_tags = nullptr;
    RelatedVersionsPanel* m_versions = nullptr;
    RelatedVesksPanel* m_reminds = nullptr;
    QPointer<QWidget> m_sectionWidget;
    // The last section made of each kind that shows another item in place; hidden but for the
    // one on show.
    QHash<int, QPointer<QWidget>> m_keptSections;
    // The section m_sectionWidget was made for (m_section is None without an item).
    PreviewSection m_sectionShown = PreviewSection::None;
    PreviewDateRowsBlock* m_dates = nullptr;
    // What shows while no item is focused.
    QPointer<QWidget> m_emptyContent;
    // Counts the evaluations: the related panels ask only for the latest.
    quint64 m_showing = 0;
    // Whose content m_content shows.
    std::optional<QUuid> m_contentItemID;
    // The last item whose values m_content took, shown or not.
    std::optional<QUuid> m_filledFrom;
    bool m_followsSelection = false;
    // A selection was shown in this turn of the event loop / a later one waits for the next turn.
    bool m_shownThisTurn = false;
    bool m_selectionWaiting = false;
    // The search text changed less than typingRestMs ago (the rest is pending), and a selection
    // moved by the search waits for it.
    std::function<bool()> m_movedBySearch;
    std::shared_ptr<PendingDelay> m_typingRest;
    bool m_selectionHeld = false;
    // A new item's pane waits for its own turn.
    std::shared_ptr<PendingDelay> m_newItemWait;
    std::shared_ptr<PendingDelay> m_prepareWait;
    // Set while a new item's pane is built: its section is shown in a turn of its own.
    bool m_sectionInTurnOfItsOwn = false;
    std::shared_ptr<PendingDelay> m_sectionWait;
    // The search text as the pane last heard of it.
    QString m_typedText;
    // The tag being typed survives a re-evaluation of the same item, not a change of item.
    QString m_tagDraft;
    QPointer<QWidget> m_bringBackPicker;
};

} // namespace vesk
