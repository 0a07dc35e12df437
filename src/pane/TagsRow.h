#pragma once
// The preview pane's tags: one chip per tag of the item (a click searches for it, the cross of a
// hand-made tag removes it) and a field that adds a hand-made tag.

#include "model/VeskItem.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>

class QHBoxLayout;
class QLineEdit;
class QScrollArea;
class QToolButton;

namespace vesk {

class VeskStore;

class TagChip : public QAbstractButton {
    Q_OBJECT
public:
    TagChip(const QString& tag, bool removable, QWidget* parent = nullptr);
    void setTag(const QString& tag, bool removable);
    const QString& tag() const { return m_tag; }
    bool isRemovable() const { return m_removable; }
    // Where the cross sits; empty for a tag that cannot be removed here.
    QRect crossRect() const;
    QSize sizeHint() const override;

signals:
    void searchRequested(const QString& tag);
    void removeRequested(const QString& tag);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_tag;
    bool m_removable;
};

class TagsRow : public QWidget {
    Q_OBJECT
public:
    // draft: the entry text to start with (kept by the pane while the same item is shown).
    TagsRow(VeskStore& store, const VeskItem& item, const QString& draft, QWidget* parent = nullptr);

    // Shows another item's tags (or the same item's as they now are) with draft in the field.
    void setItem(const VeskItem& item, const QString& draft);

    QList<TagChip*> chips() const;
    // Null while the item has no tags.
    QScrollArea* chipStrip() const { return m_strip; }
    QLineEdit* field() const { return m_field; }
    QToolButton* addButton() const { return m_addButton; }

    // Hands the entry text to the store; a tag that was added empties the field, anything else
    // leaves the text as typed.
    void addDraft();
    // Reads the item's tags from the store again. A long text's hashtags are found on a worker:
    // its chips come on a later turn of the event loop.
    void refresh();

signals:
    void draftChanged(const QString& draft);

private:
    // Makes the chips of tags, the hand-made ones removable.
    void showTags(const QStringList& tags);

    VeskStore& m_store;
    VeskItem m_item;
    // Counts the reads of tags: a read from a worker that a later one overtook is not shown.
    quint64 m_reads = 0;
    // The item whose chips are on show.
    QUuid m_chipsItem;
    QScrollArea* m_strip = nullptr;
    QLineEdit* m_field = nullptr;
    QToolButton* m_addButton = nullptr;
    // The chips on show, in order; they take the tags of every item shown.
    QList<TagChip*> m_chips;
};

} // namespace vesk
