#include "timelineview/TimelineExportFlow.h"

#include "platform/Log.h"
#include "platform/ui/BusyIndicator.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "timeline/VeskTimelineMediaCache.h"
#include "platform/WorkPool.h"
#include "platform/ui/VeskAlert.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QThreadPool>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The status sheet refuses to close while the book is being written.
class ExportStatusSheet : public QDialog {
public:
    ExportStatusSheet(QWidget* parent, std::function<bool()> busy) : QDialog(parent), m_busy(std::move(busy)) {}

    void reject() override
    {
        if (!m_busy())
            QDialog::reject();
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (m_busy())
            event->ignore();
        else
            QDialog::closeEvent(event);
    }

private:
    std::function<bool()> m_busy;
};

QLabel* centred(QLabel* label)
{
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

} // namespace

std::optional<QString> choosePhotoBookDestination(QWidget* parent, const QString& proposedName)
{
    QFileDialog dialog(parent, QStringLiteral("Export Photo Book PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF document (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

TimelineExportFlow::TimelineExportFlow(QWidget* window, std::shared_ptr<VeskTimelineMediaCache> media,
                                       DestinationChooser choose, FileRevealer reveal)
    : QObject(window), m_window(window), m_media(std::move(media)), m_choose(std::move(choose)),
      m_reveal(std::move(reveal))
{
}

TimelineExportFlow::~TimelineExportFlow() = default;

QString TimelineExportFlow::proposedFileName(const QString& personName)
{
    return personName + QStringLiteral(" - Through the Years.pdf");
}

void TimelineExportFlow::setExporting(bool exporting)
{
    if (m_exporting == exporting)
        return;
    m_exporting = exporting;
    emit exportingChanged(exporting);
}

void TimelineExportFlow::start(const QList<VeskTimelinePhoto>& photos, const QString& personName)
{
    if (m_exporting || !m_choose)
        return;
    const std::optional<QString> destination = m_choose(m_window, proposedFileName(personName));
    if (!destination || destination->isEmpty())
        return;
    m_completedPath.reset();
    setExporting(true);
    showStatus();

    // The job keeps its own copy of what it writes: later changes to the timeline do not reach it.
    auto job = std::make_shared<VeskTimelineExportJob>(VeskTimelineExportJob{photos, personName, *destination});
    const std::shared_ptr<VeskTimelineMediaCache> media = m_media;
    QPointer<TimelineExportFlow> flow(this);
    workPool()->start([job, media, flow] {
        const PhotoDateLookup dates = [media](const VeskItem& item) {
            return media ? media->photoDate(item) : std::optional<QDateTime>();
        };
        const auto written = writePhotoBook(job->photos, job->name, job->destination, dates);
        std::optional<PhotoBookFailure> failure;
        if (!written)
            failure = written.error();
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [flow, job, failure] {
            if (flow) {
                flow->finished(job->destination, failure);
                return;
            }
            veskLog(QStringLiteral("Vesk photo book finished after its timeline closed for ") + job->destination
                    + (failure ? QStringLiteral(": ") + failure->description() : QString()));
        }, Qt::QueuedConnection);
    });
}

void TimelineExportFlow::finished(const QString& destination, const std::optional<PhotoBookFailure>& failure)
{
    setExporting(false);
    if (!failure) {
        m_completedPath = destination;
        m_fileName->setText(QFileInfo(destination).fileName());
        m_statusPages->setCurrentIndex(1);
        return;
    }
    veskLog(QStringLiteral("Vesk photo book export error: ") + failure->description());
    if (m_statusSheet)
        m_statusSheet->close();
    const QString message = failure->description().isEmpty() ? QStringLiteral("Unknown error") : failure->description();
    const QString title = QStringLiteral("Could not export photo book");
    m_alert = makeVeskAlert(title, message, AlertSymbol::Warning, m_window);
    addAlertButton(m_alert, QStringLiteral("OK"), QMessageBox::AcceptRole);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    m_alert->setWindowModality(Qt::WindowModal);
    m_alert->open();
}

void TimelineExportFlow::showStatus()
{
    if (!m_statusSheet)
        buildStatusSheet();
    m_statusPages->setCurrentIndex(0);
    m_statusSheet->open();
}

void TimelineExportFlow::buildStatusSheet()
{
    m_statusSheet = new ExportStatusSheet(m_window, [this] { return m_exporting; });
    m_statusSheet->setWindowModality(Qt::WindowModal);
    m_statusSheet->setFixedWidth(390);
    m_statusSheet->setMinimumHeight(230);
    auto* outer = new QVBoxLayout(m_statusSheet);
    outer->setContentsMargins(28, 28, 28, 28);
    m_statusPages = new QStackedWidget(m_statusSheet);
    outer->addWidget(m_statusPages);

    auto* running = new QWidget(m_statusPages);
    auto* runningColumn = new QVBoxLayout(running);
    runningColumn->setSpacing(16);
    runningColumn->addStretch(1);
    runningColumn->addWidget(new BusyIndicator(running, 32), 0, Qt::AlignHCenter);
    runningColumn->addWidget(centred(styledLabel(QStringLiteral("Exporting photo book…"), TextStyle::Headline, running)));
    runningColumn->addWidget(centred(styledLabel(QStringLiteral("Preparing photographs and creating your PDF."),
                                                 TextStyle::Subheadline, running, true)));
    runningColumn->addWidget(centred(styledLabel(QStringLiteral("You can keep this window open while the book is created."),
                                                 TextStyle::Caption, running, true)));
    runningColumn->addStretch(1);
    m_statusPages->addWidget(running);

    auto* done = new QWidget(m_statusPages);
    auto* doneColumn = new QVBoxLayout(done);
    doneColumn->setSpacing(16);
    doneColumn->addStretch(1);
    auto* check = new QLabel(done);
    check->setPixmap(IconMap::pixmap(QStringLiteral("checkmark.circle.fill"), QColor(52, 199, 89), 44,
                                     m_window ? m_window->devicePixelRatioF() : 1.0));
    doneColumn->addWidget(check, 0, Qt::AlignHCenter);
    doneColumn->addWidget(centred(styledLabel(QStringLiteral("PDF created"), TextStyle::Title3, done, false, QFont::Bold)));
    m_fileName = centred(styledLabel(QString(), TextStyle::Subheadline, done, true));
    m_fileName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    doneColumn->addWidget(m_fileName);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    QPushButton* close = borderedButton(QStringLiteral("Done"), QString(), done);
    QPushButton* show = borderedButton(QStringLiteral("Show in Folder"), QString(), done, true);
    buttons->addWidget(close);
    buttons->addWidget(show);
    buttons->addStretch(1);
    doneColumn->addLayout(buttons);
    doneColumn->addStretch(1);
    m_statusPages->addWidget(done);

    connect(close, &QPushButton::clicked, m_statusSheet, &QDialog::accept);
    connect(show, &QPushButton::clicked, this, [this] {
        if (m_completedPath && m_reveal)
            m_reveal(*m_completedPath);
        m_statusSheet->accept();
    });
}

} // namespace vesk
