#pragma once
// The main window's own state: every field the window's pieces share (sheet flags, drafts, pulses,
// filters, focus, and the two view settings). Each field has a getter, a setter that ignores an
// equal value and a ...Changed signal, like the store's published state. A new window starts from
// the initial values below; only the two settings outlive it.

#include "model/VeskFilenameCleanupCandidate.h"
#include "present/VeskGroupFilter.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

namespace vesk {

class Settings;

// The user-defaults key and limits of the preview column's width.
inline constexpr const char* kPreviewPaneWidthSettingKey = "veskPreviewPaneWidth";
inline constexpr double kDefaultPreviewPaneWidth = 350.0;
inline constexpr double kMinimumPreviewPaneWidth = 300.0;
inline constexpr double kMaximumPreviewPaneWidth = 700.0;

// The modal views of the main window, each presented by one Boolean of MainWindowState.
enum class SheetFlag {
    TextCapture,
    SecureCapture,
    AboutVesk,
    FaceClusterInspector,
    PersonTimeline,
    FilenameCleanup,
    DeleteConfirmation,
    ClearLibraryConfirmation,
    NewGroupPrompt,
    RenameGroupPrompt,
    DeleteGroupConfirmation,
    // Presented while MainWindowState::pendingRenameItemID holds an item.
    RenamePrompt,
};

class MainWindowState : public QObject {
    Q_OBJECT
public:
    // settings backs "veskPreviewPaneWidth"; without it the width lives in memory only.
    explicit MainWindowState(std::shared_ptr<Settings> settings = {}, QObject* parent = nullptr);
    ~MainWindowState() override;

    // How many recent items browsing shows. (The grid's columns, 170 to 220 points wide and 14
    // apart, are the grid's own constants.)
    static constexpr int recentVeskLimit = kRecentVeskLimit;

    // A drag with an accepted type is over the window.
    bool isTargeted() const { return m_isTargeted; }
    void setIsTargeted(bool value);
    // The "New Vesk" text composer is up; the key handler stands aside.
    bool showingTextCapture() const { return m_showingTextCapture; }
    void setShowingTextCapture(bool value);
    // The secure-item composer is up; the key handler stands aside.
    bool showingSecureCapture() const { return m_showingSecureCapture; }
    void setShowingSecureCapture(bool value);
    // The composer's name field.
    const QString& draftTitle() const { return m_draftTitle; }
    void setDraftTitle(const QString& value);
    // The composer's note, as the rich-text editor's HTML.
    const QString& draftRichText() const { return m_draftRichText; }
    void setDraftRichText(const QString& value);
    // Toggled each time a search or a Return surfaces an item; the grid follows it.
    bool surfacePulse() const { return m_surfacePulse; }
    void setSurfacePulse(bool value);
    // The item whose card shows the capture pulse.
    const std::optional<QUuid>& capturePulseID() const { return m_capturePulseID; }
    void setCapturePulseID(const std::optional<QUuid>& value);
    // The item whose title is being edited; presents the rename prompt.
    const std::optional<QUuid>& pendingRenameItemID() const { return m_pendingRenameItemID; }
    void setPendingRenameItemID(const std::optional<QUuid>& value);
    bool showingRenamePrompt() const { return m_pendingRenameItemID.has_value(); }
    // Closing the prompt forgets its item; it is opened by naming an item.
    void setShowingRenamePrompt(bool value);
    // Whether the window can present a sheet: a control that would raise one it cannot is hidden.
    bool sheetAvailable(SheetFlag flag) const { return m_availableSheets.contains(int(flag)); }
    void setSheetAvailable(SheetFlag flag, bool available);
    // The rename prompt's text.
    const QString& renameItemTitle() const { return m_renameItemTitle; }
    void setRenameItemTitle(const QString& value);
    // The delete-selected confirmation.
    bool showingDeleteConfirmation() const { return m_showingDeleteConfirmation; }
    void setShowingDeleteConfirmation(bool value);
    // The filename cleanup sheet.
    bool showingFilenameCleanup() const { return m_showingFilenameCleanup; }
    void setShowingFilenameCleanup(bool value);
    // The proposals the cleanup sheet shows, computed once when it opens.
    const QList<VeskFilenameCleanupCandidate>& filenameCleanupCandidates() const { return m_filenameCleanupCandidates; }
    void setFilenameCleanupCandidates(const QList<VeskFilenameCleanupCandidate>& value);
    // How many titles the last cleanup changed.
    const std::optional<int>& cleanupFinishedCount() const { return m_cleanupFinishedCount; }
    void setCleanupFinishedCount(const std::optional<int>& value);
    // The clear-library confirmation.
    bool showingClearLibraryConfirmation() const { return m_showingClearLibraryConfirmation; }
    void setShowingClearLibraryConfirmation(bool value);
    // The About card sheet; the key handler stands aside.
    bool showingAboutVesk() const { return m_showingAboutVesk; }
    void setShowingAboutVesk(bool value);
    // The People sheet.
    bool showingFaceClusterInspector() const { return m_showingFaceClusterInspector; }
    void setShowingFaceClusterInspector(bool value);
    // The person timeline sheet.
    bool showingPersonTimeline() const { return m_showingPersonTimeline; }
    void setShowingPersonTimeline(bool value);
    // Browse the whole library instead of the most recent items.
    bool showingAllVesks() const { return m_showingAllVesks; }
    void setShowingAllVesks(bool value);
    // The new-group prompt.
    bool showingNewGroupPrompt() const { return m_showingNewGroupPrompt; }
    void setShowingNewGroupPrompt(bool value);
    // That prompt's text.
    const QString& newGroupName() const { return m_newGroupName; }
    void setNewGroupName(const QString& value);
    // The item to move into the group being created.
    const std::optional<QUuid>& pendingGroupItemID() const { return m_pendingGroupItemID; }
    void setPendingGroupItemID(const std::optional<QUuid>& value);
    // The rename-group prompt.
    bool showingRenameGroupPrompt() const { return m_showingRenameGroupPrompt; }
    void setShowingRenameGroupPrompt(bool value);
    // The group whose name is being edited.
    const std::optional<QUuid>& editingGroupID() const { return m_editingGroupID; }
    void setEditingGroupID(const std::optional<QUuid>& value);
    // That prompt's text.
    const QString& editingGroupName() const { return m_editingGroupName; }
    void setEditingGroupName(const QString& value);
    // The delete-group confirmation.
    bool showingDeleteGroupConfirmation() const { return m_showingDeleteGroupConfirmation; }
    void setShowingDeleteGroupConfirmation(bool value);
    // The group to delete.
    const std::optional<QUuid>& pendingDeleteGroupID() const { return m_pendingDeleteGroupID; }
    void setPendingDeleteGroupID(const std::optional<QUuid>& value);
    // The group browsing filter.
    const VeskGroupFilter& groupFilter() const { return m_groupFilter; }
    void setGroupFilter(const VeskGroupFilter& value);
    // The pointer is over the header's controls or the search capsule.
    bool memoryControlsNearby() const { return m_memoryControlsNearby; }
    void setMemoryControlsNearby(bool value);
    // Keyboard focus of the search field.
    bool searchFieldIsFocused() const { return m_searchFieldIsFocused; }
    void setSearchFieldIsFocused(bool value);

    // "veskPreviewPaneWidth" as stored (default 350); the column shows it clamped into 300...700,
    // and the stored value changes only when a drag ends.
    double previewPaneWidth() const { return m_previewPaneWidth; }
    double displayedPreviewPaneWidth() const;
    void setPreviewPaneWidth(double value);
    const std::shared_ptr<Settings>& settings() const { return m_settings; }

signals:
    void isTargetedChanged();
    void showingTextCaptureChanged();
    void showingSecureCaptureChanged();
    void draftTitleChanged();
    void draftRichTextChanged();
    void surfacePulseChanged();
    void capturePulseIDChanged();
    void pendingRenameItemIDChanged();
    void renameItemTitleChanged();
    void showingDeleteConfirmationChanged();
    void showingFilenameCleanupChanged();
    void filenameCleanupCandidatesChanged();
    void cleanupFinishedCountChanged();
    void showingClearLibraryConfirmationChanged();
    void showingAboutVeskChanged();
    void showingFaceClusterInspectorChanged();
    void showingPersonTimelineChanged();
    void showingAllVesksChanged();
    void showingNewGroupPromptChanged();
    void newGroupNameChanged();
    void pendingGroupItemIDChanged();
    void showingRenameGroupPromptChanged();
    void editingGroupIDChanged();
    void editingGroupNameChanged();
    void showingDeleteGroupConfirmationChanged();
    void pendingDeleteGroupIDChanged();
    void groupFilterChanged();
    void memoryControlsNearbyChanged();
    void searchFieldIsFocusedChanged();
    void previewPaneWidthChanged();
    void availableSheetsChanged();

private:
    bool m_isTargeted = false;
    bool m_showingTextCapture = false;
    bool m_showingSecureCapture = false;
    QString m_draftTitle;
    QString m_draftRichText;
    bool m_surfacePulse = false;
    std::optional<QUuid> m_capturePulseID;
    std::optional<QUuid> m_pendingRenameItemID;
    QString m_renameItemTitle;
    bool m_showingDeleteConfirmation = false;
    bool m_showingFilenameCleanup = false;
    QList<VeskFilenameCleanupCandidate> m_filenameCleanupCandidates;
    std::optional<int> m_cleanupFinishedCount;
    bool m_showingClearLibraryConfirmation = false;
    bool m_showingAboutVesk = false;
    bool m_showingFaceClusterInspector = false;
    bool m_showingPersonTimeline = false;
    bool m_showingAllVesks = false;
    bool m_showingNewGroupPrompt = false;
    QString m_newGroupName;
    std::optional<QUuid> m_pendingGroupItemID;
    bool m_showingRenameGroupPrompt = false;
    std::optional<QUuid> m_editingGroupID;
    QString m_editingGroupName;
    bool m_showingDeleteGroupConfirmation = false;
    std::optional<QUuid> m_pendingDeleteGroupID;
    VeskGroupFilter m_groupFilter = VeskGroupFilter::all();
    bool m_memoryControlsNearby = false;
    bool m_searchFieldIsFocused = false;
    double m_previewPaneWidth = kDefaultPreviewPaneWidth;
    std::shared_ptr<Settings> m_settings;
    QSet<int> m_availableSheets;
};

} // namespace vesk
