#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

namespace vesk {

class RecoverySnapshotService;
class RichTextHost;

// The formatted (RTF) bodies of notes, by item: what the pane shows, the checklist toggles and
// the edit sheet saves. A body is changed in memory only once its row took it, so the pane never
// shows a change that was lost.
class RichTextBodies : public QObject {
    Q_OBJECT

public:
    RichTextBodies(std::shared_ptr<RecoverySnapshotService> snapshots, RichTextHost& host, QObject* parent = nullptr);

    // Published state: getter, setter that ignores an equal value, bodiesChanged.
    const QHash<QUuid, QByteArray>& bodies() const { return m_bodies; }
    void setBodies(const QHash<QUuid, QByteArray>& value);
    std::optional<QByteArray> body(const QUuid& id) const;
    // Keeps the body of a new item whose row is written with it (or retried with it).
    void adopt(const QUuid& id, const QByteArray& rtf);

    // Stores a new body alone (a toggled checklist glyph): the item's title, text and searchable
    // text stay as they were, and search is not rerun. A refused write is said in the failure
    // notice and the shown body stays.
    void update(const QUuid& id, const QByteArray& rtf);
    // Saves the item edit sheet: the title as typed (blank: named from the text), the editor's
    // plain text and, when given, its RTF. Only text items that are neither secure nor captured
    // web content, with some text. The row and the body are written in one transaction, so a
    // failure changes nothing, in the database or in memory. True when saved.
    [[nodiscard]] bool saveEdits(const QUuid& id, const QString& title, const QString& plainText,
                                 const std::optional<QByteArray>& rtf);

signals:
    void bodiesChanged();

private:
    std::shared_ptr<RecoverySnapshotService> m_snapshots;
    RichTextHost& m_host;
    QHash<QUuid, QByteArray> m_bodies;
};

} // namespace vesk
