#include "app/QuickLookWindow.h"

#include "platform/FileThumbnailer.h"
#include "platform/ImageLoader.h"
#include "platform/ui/Theme.h"
#include "platform/WorkPool.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace vesk {

namespace {

constexpr qint64 kTextPreviewBytes = 256 * 1024;

} // namespace

QuickLookContent loadQuickLookContent(const QString& path, QSize maxImageSize)
{
    QuickLookContent content;
    content.title = QFileInfo(path).fileName();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (type.inherits(QStringLiteral("text/plain")) && !type.inherits(QStringLiteral("image/svg+xml"))) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            // Only the beginning of a large file: the preview is a glance, not an editor.
            const QByteArray bytes = file.read(kTextPreviewBytes);
            QStringDecoder decoder(QStringDecoder::Utf8);
            content.text = decoder.decode(bytes);
            return content;
        }
    }
    const FileThumbnail thumbnail = FileThumbnailer::thumbnail(path, maxImageSize);
    content.image = thumbnail.image;
    content.iconName = thumbnail.iconName;
    return content;
}

QuickLookWindow::QuickLookWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("quickLook"));
    resize(760, 560);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);
    m_picture = new QLabel(m_stack);
    m_picture->setAlignment(Qt::AlignCenter);
    m_text = new QPlainTextEdit(m_stack);
    m_text->setReadOnly(true);
    m_icon = new QLabel(m_stack);
    m_icon->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(m_picture);
    m_stack->addWidget(m_text);
    m_stack->addWidget(m_icon);
}

void QuickLookWindow::showPath(const QString& path)
{
    m_path = path;
    m_loaded = false;
    setWindowTitle(QFileInfo(path).fileName());
    m_stack->setCurrentWidget(m_icon);
    m_icon->setText(QFileInfo(path).fileName());
    const quint64 ticket = ++m_ticket;
    const QSize size = QSize(1600, 1200);
    auto* watcher = new QFutureWatcher<QuickLookContent>(this);
    connect(watcher, &QFutureWatcher<QuickLookContent>::finished, this, [this, watcher, ticket] {
        watcher->deleteLater();
        if (ticket == m_ticket)
            present(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(workPool(), [path, size] { return loadQuickLookContent(path, size); }));
}

void QuickLookWindow::present(const QuickLookContent& content)
{
    if (!content.image.isNull()) {
        const QSize room = m_stack->size().isEmpty() ? QSize(736, 536) : m_stack->size();
        m_picture->setPixmap(QPixmap::fromImage(content.image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        m_stack->setCurrentWidget(m_picture);
    } else if (!content.text.isNull()) {
        m_text->setPlainText(content.text);
        m_stack->setCurrentWidget(m_text);
    } else {
        const QIcon icon = QIcon::fromTheme(content.iconName, QIcon::fromTheme(QStringLiteral("text-x-generic")));
        m_icon->setPixmap(icon.pixmap(128, 128));
        m_icon->setToolTip(content.title);
        m_stack->setCurrentWidget(m_icon);
    }
    m_loaded = true;
    emit contentShown();
}

void QuickLookWindow::keyPressEvent(QKeyEvent* event)
{
    // The preview closes the way it opened, or with Escape.
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void VeskQuickLookController::showQuickLookPanel(const QString& path)
{
    if (isVisible() && m_previewPath == path) {
        close();
        return;
    }
    m_previewPath = path;
    if (!m_window)
        m_window = new QuickLookWindow();
    m_window->showPath(path);
    m_window->show();
    m_window->raise();
}

void VeskQuickLookController::close()
{
    if (m_window)
        m_window->hide();
    m_previewPath.clear();
}

} // namespace vesk
