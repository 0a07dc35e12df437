#pragma once

#include "timeline/PhotoBook.h"

#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace vesk {

class VeskTimelineMediaCache;

// Exporting a timeline as a photo book: where to save it, the writer on a worker thread, the
// status sheet while it runs and when it is done, and the alert when it failed. The sheet cannot
// be closed while the book is being written. A window closed during an export does not stop the
// book: it is still written, and the outcome, which has no window left to go to, is logged.
class TimelineExportFlow : public QObject {
    Q_OBJECT
public:
    // Asks where to save, proposing a file name; none when the user cancels.
    using DestinationChooser = std::function<std::optional<QString>(QWidget* parent, const QString& proposedName)>;
    using FileRevealer = std::function<void(const QString& path)>;

    TimelineExportFlow(QWidget* window, std::shared_ptr<VeskTimelineMediaCache> media, DestinationChooser choose,
                       FileRevealer reveal);
    ~TimelineExportFlow() override;

    // The proposed file name: the person's name as it is, then " - Through the Years.pdf".
    static QString proposedFileName(const QString& personName);

    // Asks for a destination and, unless cancelled, writes the book of these photos.
    void start(const QList<VeskTimelinePhoto>& photos, const QString& personName);

    bool exporting() const { return m_exporting; }
    const std::optional<QString>& completedPath() const { return m_completedPath; }
    QDialog* statusSheet() const { return m_statusSheet; }
    QMessageBox* alert() const { return m_alert; }

signals:
    void exportingChanged(bool exporting);

private:
    void finished(const QString& destination, const std::optional<PhotoBookFailure>& failure);
    void showStatus();
    void setExporting(bool exporting);
    void buildStatusSheet();

    QWidget* m_window;
    std::shared_ptr<VeskTimelineMediaCache> m_media;
    DestinationChooser m_choose;
    FileRevealer m_reveal;
    bool m_exporting = false;
    std::optional<QString> m_completedPath;

    QPointer<QDialog> m_statusSheet;
    QStackedWidget* m_statusPages = nullptr;
    QLabel* m_fileName = nullptr;
    QPointer<QMessageBox> m_alert;
};

// The save dialog of the desktop: PDF files only, new folders allowed.
std::optional<QString> choosePhotoBookDestination(QWidget* parent, const QString& proposedName);

} // namespace vesk
