#include "app/QuickLookWindow.h"

#include "platform/preview/FileThumbnailer.h"
#include "platform/image/ImageLoader.h"
#include "model/ItemFileKinds.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "platform/FutureDelivery.h"
#include "platform/WorkPool.h"

#include <QFile>
#include <QFileInfo>
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
    content.image = FileThumbnailer::thumbnail(path, maxImageSize).image;
    VeskItem file;
    file.filePath = path;
    content.symbol = formatBadgeSymbol(file);
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
    m_iconPage = new QWidget(m_stack);
    auto* column = new QVBoxLayout(m_iconPage);
    column->setSpacing(14);
    column->addStretch(1);
    m_icon = new QLabel(m_iconPage);
    m_icon->setObjectName(QStringLiteral("quickLookSymbol"));
    m_icon->setAlignment(Qt::AlignCenter);
    column->addWidget(m_icon);
    m_name = new QLabel(m_iconPage);
    m_name->setObjectName(QStringLiteral("quickLookName"));
    m_name->setAlignment(Qt::AlignCenter);
    m_name->setWordWrap(true);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_name->setFont(Theme::font(15, QFont::DemiBold));
    column->addWidget(m_name);
    column->addStretch(1);
    m_stack->addWidget(m_picture);
    m_stack->addWidget(m_text);
    m_stack->addWidget(m_iconPage);
}

QWidget* QuickLookWindow::currentPage() const
{
    return m_stack->currentWidget();
}

void QuickLookWindow::showPath(const QString& path)
{
    m_path = path;
    m_loaded = false;
    setWindowTitle(QFileInfo(path).fileName());
    // The name shows at once; the symbol (or the contents) once the file has been looked at.
    m_icon->clear();
    m_name->setText(QFileInfo(path).fileName());
    m_stack->setCurrentWidget(m_iconPage);
    const quint64 ticket = ++m_ticket;
    const QSize size = QSize(1600, 1200);
    deliverResult(this, QtConcurrent::run(workPool(), [path, size] { return loadQuickLookContent(path, size); }),
        [this, ticket](const QuickLookContent& content) {
            if (ticket == m_ticket)
                present(content);
        });
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
        m_icon->setPixmap(IconMap::pixmap(content.symbol, Theme::current().secondary(), 112, devicePixelRatioF()));
        m_name->setText(content.title);
        m_stack->setCurrentWidget(m_iconPage);
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
