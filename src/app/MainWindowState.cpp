#include "app/MainWindowState.h"

#include "platform/Settings.h"

#include <algorithm>
#include <cmath>

namespace vesk {

MainWindowState::MainWindowState(std::shared_ptr<Settings> settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    if (m_settings) {
        bool ok = false;
        const double stored = m_settings->value(QLatin1String(kPreviewPaneWidthSettingKey)).toDouble(&ok);
        if (ok && std::isfinite(stored))
            m_previewPaneWidth = stored;
    }
}

MainWindowState::~MainWindowState() = default;

double MainWindowState::displayedPreviewPaneWidth() const
{
    return std::clamp(m_previewPaneWidth, kMinimumPreviewPaneWidth, kMaximumPreviewPaneWidth);
}

void MainWindowState::setPreviewPaneWidth(double value)
{
    if (!std::isfinite(value) || m_previewPaneWidth == value)
        return;
    m_previewPaneWidth = value;
    if (m_settings)
        m_settings->setValue(QLatin1String(kPreviewPaneWidthSettingKey), value);
    emit previewPaneWidthChanged();
}

void MainWindowState::setIsTargeted(bool value)
{
    if (m_isTargeted == value)
        return;
    m_isTargeted = value;
    emit isTargetedChanged();
}

void MainWindowState::setShowingTextCapture(bool value)
{
    if (m_showingTextCapture == value)
        return;
    m_showingTextCapture = value;
    emit showingTextCaptureChanged();
}

void MainWindowState::setShowingSecureCapture(bool value)
{
    if (m_showingSecureCapture == value)
        return;
    m_showingSecureCapture = value;
    emit showingSecureCaptureChanged();
}

void MainWindowState::setDraftTitle(const QString& value)
{
    if (m_draftTitle == value)
        return;
    m_draftTitle = value;
    emit draftTitleChanged();
}

void MainWindowState::setDraftRichText(const QString& value)
{
    if (m_draftRichText == value)
        return;
    m_draftRichText = value;
    emit draftRichTextChanged();
}

void MainWindowState::setSurfacePulse(bool value)
{
    if (m_surfacePulse == value)
        return;
    m_surfacePulse = value;
    emit surfacePulseChanged();
}

void MainWindowState::setCapturePulseID(const std::optional<QUuid>& value)
{
    if (m_capturePulseID == value)
        return;
    m_capturePulseID = value;
    emit capturePulseIDChanged();
}

void MainWindowState::setPendingRenameItemID(const std::optional<QUuid>& value)
{
    if (m_pendingRenameItemID == value)
        return;
    m_pendingRenameItemID = value;
    emit pendingRenameItemIDChanged();
}

void MainWindowState::setShowingRenamePrompt(bool value)
{
    if (!value)
        setPendingRenameItemID(std::nullopt);
}

void MainWindowState::setSheetAvailable(SheetFlag flag, bool available)
{
    if (available == m_availableSheets.contains(int(flag)))
        return;
    if (available)
        m_availableSheets.insert(int(flag));
    else
        m_availableSheets.remove(int(flag));
    emit availableSheetsChanged();
}

void MainWindowState::setRenameItemTitle(const QString& value)
{
    if (m_renameItemTitle == value)
        return;
    m_renameItemTitle = value;
    emit renameItemTitleChanged();
}

void MainWindowState::setShowingDeleteConfirmation(bool value)
{
    if (m_showingDeleteConfirmation == value)
        return;
    m_showingDeleteConfirmation = value;
    emit showingDeleteConfirmationChanged();
}

void MainWindowState::setShowingFilenameCleanup(bool value)
{
    if (m_showingFilenameCleanup == value)
        return;
    m_showingFilenameCleanup = value;
    emit showingFilenameCleanupChanged();
}

void MainWindowState::setFilenameCleanupCandidates(const QList<VeskFilenameCleanupCandidate>& value)
{
    if (m_filenameCleanupCandidates == value)
        return;
    m_filenameCleanupCandidates = value;
    emit filenameCleanupCandidatesChanged();
}

void MainWindowState::setCleanupFinishedCount(const std::optional<int>& value)
{
    if (m_cleanupFinishedCount == value)
        return;
    m_cleanupFinishedCount = value;
    emit cleanupFinishedCountChanged();
}

void MainWindowState::setShowingClearLibraryConfirmation(bool value)
{
    if (m_showingClearLibraryConfirmation == value)
        return;
    m_showingClearLibraryConfirmation = value;
    emit showingClearLibraryConfirmationChanged();
}

void MainWindowState::setShowingAboutVesk(bool value)
{
    if (m_showingAboutVesk == value)
        return;
    m_showingAboutVesk = value;
    emit showingAboutVeskChanged();
}

void MainWindowState::setShowingFaceClusterInspector(bool value)
{
    if (m_showingFaceClusterInspector == value)
        return;
    m_showingFaceClusterInspector = value;
    emit showingFaceClusterInspectorChanged();
}

void MainWindowState::setShowingPersonTimeline(bool value)
{
    if (m_showingPersonTimeline == value)
        return;
    m_showingPersonTimeline = value;
    emit showingPersonTimelineChanged();
}

void MainWindowState::setShowingAllVesks(bool value)
{
    if (m_showingAllVesks == value)
        return;
    m_showingAllVesks = value;
    emit showingAllVesksChanged();
}

void MainWindowState::setShowingNewGroupPrompt(bool value)
{
    if (m_showingNewGroupPrompt == value)
        return;
    m_showingNewGroupPrompt = value;
    emit showingNewGroupPromptChanged();
}

void MainWindowState::setNewGroupName(const QString& value)
{
    if (m_newGroupName == value)
        return;
    m_newGroupName = value;
    emit newGroupNameChanged();
}

void MainWindowState::setPendingGroupItemID(const std::optional<QUuid>& value)
{
    if (m_pendingGroupItemID == value)
        return;
    m_pendingGroupItemID = value;
    emit pendingGroupItemIDChanged();
}

void MainWindowState::setShowingRenameGroupPrompt(bool value)
{
    if (m_showingRenameGroupPrompt == value)
        return;
    m_showingRenameGroupPrompt = value;
    emit showingRenameGroupPromptChanged();
}

void MainWindowState::setEditingGroupID(const std::optional<QUuid>& value)
{
    if (m_editingGroupID == value)
        return;
    m_editingGroupID = value;
    emit editingGroupIDChanged();
}

void MainWindowState::setEditingGroupName(const QString& value)
{
    if (m_editingGroupName == value)
        return;
    m_editingGroupName = value;
    emit editingGroupNameChanged();
}

void MainWindowState::setShowingDeleteGroupConfirmation(bool value)
{
    if (m_showingDeleteGroupConfirmation == value)
        return;
    m_showingDeleteGroupConfirmation = value;
    emit showingDeleteGroupConfirmationChanged();
}

void MainWindowState::setPendingDeleteGroupID(const std::optional<QUuid>& value)
{
    if (m_pendingDeleteGroupID == value)
        return;
    m_pendingDeleteGroupID = value;
    emit pendingDeleteGroupIDChanged();
}

void MainWindowState::setGroupFilter(const VeskGroupFilter& value)
{
    if (m_groupFilter == value)
        return;
    m_groupFilter = value;
    emit groupFilterChanged();
}

void MainWindowState::setMemoryControlsNearby(bool value)
{
    if (m_memoryControlsNearby == value)
        return;
    m_memoryControlsNearby = value;
    emit memoryControlsNearbyChanged();
}

void MainWindowState::setSearchFieldIsFocused(bool value)
{
    if (m_searchFieldIsFocused == value)
        return;
    m_searchFieldIsFocused = value;
    emit searchFieldIsFocusedChanged();
}

} // namespace vesk
