#pragma once
// The People window: the counts of faces, one card per named person with the faces Vesk suggests
// for them, and the faces that belong to nobody yet. Shown as a window-modal sheet of the main
// window. It keeps no store data: everything shown is asked of the store when the window is built
// and again each time the store's faceDataRevision changes (and when the appearance changes).
// Face previews arrive from the store's workers and repaint their tiles as they come.

#include "people/PeoplePrompt.h"

#include "model/VeskFaceRecords.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <functional>
#include <optional>

class QScrollArea;
class QVBoxLayout;

namespace vesk {

class VeskStore;
struct VeskPersonPoolSummary;

class VeskFaceClusterInspector : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSuggestionLimit = 12;
    static constexpr double kSuggestionMinimum = 0.72;
    static constexpr int kUnassignedLimit = 48;

    explicit VeskFaceClusterInspector(VeskStore& store, QWidget* parent = nullptr);
    ~VeskFaceClusterInspector() override;

    // The dialogs the window owns, while they are up.
    PeoplePrompt* namingDialog() const { return m_namingDialog; }
    PeoplePrompt* renameDialog() const { return m_renameDialog; }
    QMessageBox* mergeDialog() const { return m_mergeDialog; }
    // The alert that says a decision did not happen, while it is up.
    QMessageBox* failureAlert() const { return m_failureAlert; }

    // The window's states, for the dialogs.
    const std::optional<QUuid>& namingFaceID() const { return m_namingFaceID; }
    const std::optional<QUuid>& renamingPoolID() const { return m_renamingPoolID; }
    const std::optional<QUuid>& pendingRenameMergeSourceID() const { return m_pendingRenameMergeSourceID; }
    const std::optional<QUuid>& pendingRenameMergeTargetID() const { return m_pendingRenameMergeTargetID; }
    const QString& pendingRenameMergeName() const { return m_pendingRenameMergeName; }

    // "Name…" on an unassigned face: opens the naming dialog with an empty name.
    void beginNaming(const QUuid& faceID);
    // "Rename…" on a person card: opens the rename dialog with the pool's name.
    void beginRename(const QUuid& poolID, const QString& name);
    // The dialogs' confirming buttons.
    void submitNewPerson();
    void submitRename();
    void confirmRenameMerge();

    // Builds the whole content from the store now (it otherwise follows the store on its own).
    void rebuild();
    // Whether suggestions asked for since the last rebuild are still being worked out.
    bool suggestionsPending() const { return m_suggestionsPending > 0; }

private:
    void scheduleRebuild();
    QWidget* buildCounts();
    QWidget* buildKnownPeople();
    QWidget* buildPersonCard(const VeskPersonPoolSummary& person, const QList<VeskPersonPoolSummary>& all);
    // The suggestions are worked out on the store's worker: the block shows those last shown for
    // the person at once and the new ones when they come.
    QWidget* buildSuggestionBlock(const VeskPersonPoolSummary& person);
    QWidget* buildSuggestionContent(const VeskPersonPoolSummary& person, const QList<VeskFaceSuggestion>& suggestions);
    QWidget* buildSuggestionRow(const VeskFaceSuggestion& suggestion);
    QWidget* buildUnassigned();
    QWidget* buildUnassignedTile(const QUuid& faceID);
    PeoplePrompt* openPrompt(const QString& title, const QString& message, const QString& confirmText, QString& name,
                             void (VeskFaceClusterInspector::*submit)(), void (VeskFaceClusterInspector::*clear)());
    void openMergeDialog();
    // Runs a change of the store; when it did not happen and the store said why, the sheet says
    // it in its own alert (the main window's notice is hidden behind the sheet).
    void act(const std::function<bool()>& change);
    void clearNaming();
    void clearRename();
    void clearPendingMerge();

    QPointer<VeskStore> m_store;
    QVBoxLayout* m_column = nullptr;
    QWidget* m_counts = nullptr;
    QScrollArea* m_scroll = nullptr;
    bool m_rebuildPending = false;
    int m_suggestionsPending = 0;
    QHash<QUuid, QList<VeskFaceSuggestion>> m_shownSuggestions;

    std::optional<QUuid> m_namingFaceID;
    QString m_newPersonName;
    std::optional<QUuid> m_renamingPoolID;
    QString m_renamePersonName;
    std::optional<QUuid> m_pendingRenameMergeSourceID;
    std::optional<QUuid> m_pendingRenameMergeTargetID;
    QString m_pendingRenameMergeName;

    QPointer<PeoplePrompt> m_namingDialog;
    QPointer<PeoplePrompt> m_renameDialog;
    QPointer<QMessageBox> m_mergeDialog;
    QPointer<QMessageBox> m_failureAlert;
};

} // namespace vesk
