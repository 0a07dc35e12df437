#include "richtext/VeskRichTextReadView.h"

#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The rectangles (one per line) of the glyphs of [start, end) within one block.
QList<QRectF> runRects(const QTextDocument& document, int start, int end)
{
    QList<QRectF> rects;
    const QTextBlock block = document.findBlock(start);
    if (!block.isValid())
        return rects;
    document.documentLayout()->blockBoundingRect(block);  // lays the block out when it is not yet
    const QTextLayout* layout = block.layout();
    if (!layout)
        return rects;
    const QPointF origin = layout->position();
    const int a = start - block.position();
    const int b = end - block.position();
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        const int from = std::max(a, line.textStart());
        const int to = std::min(b, line.textStart() + line.textLength());
        if (from >= to)
            continue;
        const qreal x1 = line.cursorToX(from);
        const qreal x2 = line.cursorToX(to);
        rects.append(QRectF(origin.x() + std::min(x1, x2), origin.y() + line.y(), std::abs(x2 - x1), line.height()));
    }
    return rects;
}

} // namespace

std::optional<LinkHit> linkHitAt(const QTextDocument& document, const QPointF& documentPoint)
{
    const int length = documentLength(document);
    if (length == 0)
        return std::nullopt;
    for (const CharRun& run : charRuns(document, 0, length)) {
        if (!hasLink(run.format))
            continue;
        const QString href = run.format.anchorHref();
        const QUrl url(href);
        if (!url.isValid())
            continue;
        const bool glyph = isChecklistToggleLink(href);
        for (QRectF rect : runRects(document, run.start, run.end)) {
            if (glyph)
                rect.adjust(-6, -4, 6, 4);
            if (rect.contains(documentPoint))
                return LinkHit{href, run.start, glyph};
        }
    }
    return std::nullopt;
}

Qt::CursorShape cursorShapeFor(const std::optional<LinkHit>& hit)
{
    if (!hit)
        return Qt::IBeamCursor;
    return hit->isChecklistGlyph ? Qt::ArrowCursor : Qt::PointingHandCursor;
}

VeskChecklistTextView::VeskChecklistTextView(QWidget* parent) : QTextEdit(parent)
{
    viewport()->setMouseTracking(true);
}

std::optional<LinkHit> VeskChecklistTextView::hitAt(const QPoint& viewportPoint) const
{
    const QPointF documentPoint(viewportPoint.x() + horizontalScrollBar()->value(),
                                viewportPoint.y() + verticalScrollBar()->value());
    return linkHitAt(*document(), documentPoint);
}

void VeskChecklistTextView::mouseMoveEvent(QMouseEvent* event)
{
    QTextEdit::mouseMoveEvent(event);
    viewport()->setCursor(cursorShapeFor(hitAt(event->position().toPoint())));
}

void VeskChecklistTextView::mousePressEvent(QMouseEvent* event)
{
    m_pressPoint = event->position().toPoint();
    m_pressOnLink = event->button() == Qt::LeftButton && hitAt(m_pressPoint).has_value();
    if (m_pressOnLink) {
        event->accept();
        return;
    }
    QTextEdit::mousePressEvent(event);
}

void VeskChecklistTextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressOnLink && event->button() == Qt::LeftButton) {
        m_pressOnLink = false;
        const std::optional<LinkHit> hit = hitAt(event->position().toPoint());
        if (hit && (event->position().toPoint() - m_pressPoint).manhattanLength() < 6) {
            bool handled = false;
            emit linkClicked(hit->href, hit->index, &handled);
        }
        event->accept();
        return;
    }
    QTextEdit::mouseReleaseEvent(event);
}

void VeskChecklistTextView::leaveEvent(QEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    QTextEdit::leaveEvent(event);
}

VeskRichTextReadView::VeskRichTextReadView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_textView = new VeskChecklistTextView(this);
    m_textView->setFrameShape(QFrame::NoFrame);
    m_textView->setReadOnly(true);
    m_textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Selectable for copying, but nothing to type into: no blinking caret after a click.
    m_textView->setCursorWidth(0);
    m_textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textView->setLineWrapMode(QTextEdit::WidgetWidth);
    m_textView->viewport()->setAutoFillBackground(false);
    m_textView->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    m_textView->document()->setDocumentMargin(12);
    layOutInDesignPoints(*m_textView->document());
    m_textView->document()->setDefaultFont(defaultRichTextFont());
    layout->addWidget(m_textView);

    connect(m_textView, &VeskChecklistTextView::linkClicked, this,
            [this](const QString& href, int index, bool* handled) { *handled = handleLinkClick(href, index); });
}

void VeskRichTextReadView::setRtfData(const QByteArray& rtf)
{
    std::unique_ptr<QTextDocument> decoded = documentFromRtf(rtf);
    if (!decoded || documentLength(*decoded) == 0)
        return;
    const QColor linkColor = m_textView->palette().color(QPalette::Link);
    runDisplayPass(*decoded, linkColor);
    QTextDocument& shown = *m_textView->document();
    if (sameRichText(*decoded, shown))
        return;
    fillDocument(shown, contentFromDocument(*decoded));
    shown.setDefaultFont(defaultRichTextFont());
    runDisplayPass(shown, linkColor);
}

bool VeskRichTextReadView::handleLinkClick(const QString& href, int index)
{
    const QUrl url(href);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    if (url.scheme() != QLatin1String(kChecklistScheme)) {
        // Rich text from elsewhere can carry any scheme; only web and mail links leave the app.
        if (isOpenableLink(url)) {
            if (m_linkOpener)
                m_linkOpener(url);
            else
                QDesktopServices::openUrl(url);
        }
        return true;
    }
    QTextDocument& document = *m_textView->document();
    if (index >= documentLength(document))
        return false;
    if (!toggleGlyphAt(document, index))
        return false;
    runDisplayPass(document, m_textView->palette().color(QPalette::Link));
    const std::optional<QByteArray> rtf = makeRTFData(document);
    if (rtf && m_onRTFChange)
        m_onRTFChange(*rtf);
    return true;
}

} // namespace vesk
