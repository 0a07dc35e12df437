#pragma once
// The preview pane's two ways on to other items: "Related Versions" (other versions of the same
// file) and "This reminds me of…" (items related by words, meaning and use). Each asks the store
// for its list, hides itself while the list is empty, and follows changes of the library. A click
// on a row selects that item.

#include "model/VeskItem.h"
#include "platform/CancellationToken.h"

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QVariantAnimation;
class QVBoxLayout;

namespace vesk {

class VeskStore;

// One row of either panel: the hover look animates between rest (0) and hovered (1).
class RelatedRow : public QAbstractButton {
    Q_OBJECT
public:
    enum class Style { Version, Related };
    RelatedRow(Style style, const VeskItem& item, QWidget* parent = nullptr);
    // Shows another item in the same row.
    void setItem(const VeskItem& item);

    const VeskItem& item() const { return m_item; }
    QString titleText() const { return m_title; }
    QString detailText() const { return m_detail; }
    QString symbol() const;
    bool isHovering() const { return m_hovering; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovering(bool hovering);

    Style m_style;
    VeskItem m_item;
    QString m_title;
    QString m_detail;
    bool m_hovering = false;
    qreal m_hover = 0; // 0 at rest, 1 hovered
    QVariantAnimation* m_animation = nullptr;
    // The title and detail as last fitted, and the width they were fitted to: a row is painted
    // with every answer and at each step of its hover, its texts and width seldom change.
    struct Elided {
        qreal width = -1;
        QString title;
        QString detail;
    } m_elided;
};

// The frame, header and rows common to both panels.
class RelatedPanel : public QWidget {
    Q_OBJECT
public:
    QList<RelatedRow*> rows() const;
    // The items shown, in order.
    QList<VeskItem> shownItems() const;
    // Asks the store again.
    void refresh();
    // Follows another item, or the same one as it now is, and asks about it at the next
    // refresh(). Another item's panel hides at once: no answer about the last one shows for it.
    void setItem(const VeskItem& item);
    // Whether the panel shows the answer to its latest question (an empty one hides it).
    bool isAnswered() const { return m_answered; }
    // Whether the panel keeps its place for the answer about a new item: it shows nothing, and
    // the rows it keeps from the last answer take no clicks, no focus and have no names.
    bool isWaiting() const { return m_waiting; }

protected:
    RelatedPanel(VeskStore& store, const VeskItem& item, QWidget* parent);
    // Asks the store for m_item's list; the answer goes to answer, at once when the store knows
    // it or later from a worker.
    virtual void query(std::function<void(const QList<VeskItem>&)> answer) = 0;
    void showItems(const QList<VeskItem>& items);
    // Made once, over the rows of every answer.
    virtual void fillHeader(QVBoxLayout* column) = 0;
    // The header's part that tells how many rows an answer has.
    virtual void showCount(qsizetype) { }
    virtual RelatedRow::Style rowStyle() const = 0;
    virtual int rowSpacing() const = 0;
    bool eventFilter(QObject* watched, QEvent* event) override;

    VeskStore& m_store;
    VeskItem m_item;

private:
    void rebuild(const QList<VeskItem>& items);
    // Whether the hidden panel keeps its room in the pane's column.
    void keepPlace(bool keep);
    void setWaiting(bool waiting);
    // The body's parts go blank and deaf while the panel waits.
    void watch(QWidget* widget);
    // The pane's replaced content waits a turn for its deletion and can outlive the store: a
    // refresh queued meanwhile then has nothing to ask.
    QPointer<VeskStore> m_storeAlive;
    bool m_refreshQueued = false;
    bool m_answered = false;
    bool m_waiting = false;
    // Counts the questions: an answer to any but the latest is dropped.
    quint64 m_asked = 0;
    QWidget* m_body = nullptr;
    QVBoxLayout* m_rowsColumn = nullptr;
    // Made in the colours of an earlier appearance: made again with the next answer.
    bool m_bodyStale = false;
    QList<RelatedRow*> m_rows;
    // Whose answer the rows show.
    QUuid m_rowsItemID;
};

class RelatedVersionsPanel : public RelatedPanel {
    Q_OBJECT
public:
    RelatedVersionsPanel(VeskStore& store, const VeskItem& item, QWidget* parent = nullptr);
    ~RelatedVersionsPanel() override;
    // "3 passes" for two other versions: the shown item counts as one.
    QString passesText() const;
    static constexpr int limit = 6;

protected:
    // Every file of a large library is compared on a worker: the panel stays as it is (hidden
    // when new) until the versions come back.
    void query(std::function<void(const QList<VeskItem>&)> answer) override;
    void fillHeader(QVBoxLayout* column) override;
    void showCount(qsizetype count) override;
    RelatedRow::Style rowStyle() const override { return RelatedRow::Style::Version; }
    int rowSpacing() const override { return 5; }
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_passes = nullptr;
    // The comparison under way; a newer one, or the panel's end, stops it.
    std::optional<CancellationToken> m_search;
};

class RelatedVesksPanel : public RelatedPanel {
    Q_OBJECT
public:
    RelatedVesksPanel(VeskStore& store, const VeskItem& item, QWidget* parent = nullptr);
    static constexpr int limit = 3;

protected:
    // Ranking the whole library takes a worker a while at large sizes: the panel stays as it is
    // (hidden when new) until the ranking comes back.
    void query(std::function<void(const QList<VeskItem>&)> answer) override;
    void fillHeader(QVBoxLayout* column) override;
    RelatedRow::Style rowStyle() const override { return RelatedRow::Style::Related; }
    int rowSpacing() const override { return 6; }
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vesk
