#include "richtext/VeskRichTextReadView.h"

#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"

#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/WorkPool.h"
#include "platform/WorkPools.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <QtConcurrent/QtConcurrentRun>

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
    // Only the lines within a glyph's margin of the point can hold the link under it: the search
    // stays within their blocks, however long the body.
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const int first = layout->hitTest(documentPoint - QPointF(0, 4), Qt::FuzzyHit);
    const int last = layout->hitTest(documentPoint + QPointF(0, 4), Qt::FuzzyHit);
    if (first < 0 || last < 0)
        return std::nullopt;
    const QTextBlock lastBlock = document.findBlock(std::max(first, last));
    for (QTextBlock block = document.findBlock(std::min(first, last)); block.isValid(); block = block.next()) {
        const int blockEnd = block.position() + block.length() - 1;
        for (const CharRun& run : charRuns(document, block.position(), blockEnd)) {
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
        if (block == lastBlock)
            break;
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

DisplayedBody prepareDisplayedBody(const QByteArray& rtf, const QColor& linkColor)
{
    DisplayedBody body;
    std::optional<RtfContent> content = parseRtf(rtf, RtfReaderLimits{}, &body.truncated);
    const auto holdsText = [](const RtfContent& read) {
        return read.paragraphs.size() > 1
            || std::any_of(read.paragraphs.cbegin(), read.paragraphs.cend(), [](const RtfParagraph& paragraph) {
                   return std::any_of(paragraph.runs.cbegin(), paragraph.runs.cend(),
                                      [](const RtfRun& run) { return !run.text.isEmpty(); });
               });
    };
    if (!content || !holdsText(*content))
        return body;
    prepareRichTextContent(*content);
    std::unique_ptr<QTextDocument> document = makeRichTextDocument();
    fillDocument(*document, *content, linkColor);
    document->moveToThread(QCoreApplication::instance()->thread());
    body.document = std::shared_ptr<QTextDocument>(document.release(), [](QTextDocument* done) {
        // A body read for a view that has gone is let go of where it was made.
        if (done->thread() == QThread::currentThread())
            delete done;
        else
            done->deleteLater();
    });
    return body;
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

VeskRichTextReadView::~VeskRichTextReadView()
{
    // The text view goes before the document it shows.
    delete m_textView;
    m_textView = nullptr;
}

void VeskRichTextReadView::setRtfData(const QByteArray& rtf)
{
    if (!looksLikeRtf(rtf) || (rtf == m_shownRtf && !m_loading))
        return;
    const quint64 generation = ++m_loadGeneration;
    const QColor linkColor = m_textView->palette().color(QPalette::Link);
    if (rtf.size() <= kSynchronousBytes) {
        m_loading = false;
        present(prepareDisplayedBody(rtf, linkColor), rtf);
        return;
    }
    m_loading = true;
    // The window waits for this body to paint it: a background thread, which a busy machine
    // starves, could take it seconds.
    deliverResult(this, QtConcurrent::run(WorkPools::shared().painting(), [rtf, linkColor] {
        return prepareDisplayedBody(rtf, linkColor);
    }),
        [this, generation, rtf](const DisplayedBody& body) {
            if (generation == m_loadGeneration)
                present(body, rtf);
        });
}

void VeskRichTextReadView::present(const DisplayedBody& body, const QByteArray& rtf)
{
    m_loading = false;
    if (!body.document)
        return;
    if (body.truncated) {
        veskLog(QStringLiteral("Vesk rich-text read error: the body is longer than Vesk reads; its beginning "
                               "is shown and its checklist cannot be changed"));
    }
    m_truncated = body.truncated;
    if (sameRichText(*body.document, *m_textView->document())) {
        m_shownRtf = rtf;
        return;
    }
    stopFilling();
    std::shared_ptr<QTextDocument> shown = body.document;
    if (documentLength(*body.document) > kShownPieceCharacters) {
        shown = std::shared_ptr<QTextDocument>(makeRichTextDocument().release());
        m_source = body.document;
        m_nextSourceBlock = m_source->firstBlock();
        appendSourcePiece(*shown);
    }
    QTextDocument& document = *shown;
    document.setDocumentMargin(12);
    document.setDefaultFont(defaultRichTextFont());
    layOutInDesignPoints(document);
    m_textView->setDocument(&document);
    m_textView->setCursorWidth(0);
    m_document = shown;
    m_shownRtf = rtf;
    if (m_source) {
        if (!m_fill) {
            m_fill = new QTimer(this);
            m_fill->setInterval(0);
            connect(m_fill, &QTimer::timeout, this, [this] {
                if (m_source && m_document)
                    appendSourcePiece(*m_document);
            });
        }
        m_fill->start();
    }
    emit bodyShown();
}

void VeskRichTextReadView::appendSourcePiece(QTextDocument& shown)
{
    QTextCursor cursor(&shown);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    // Block by block and run by run, formats as they are: the text shown is the body itself.
    int taken = 0;
    while (m_nextSourceBlock.isValid() && taken < kShownPieceCharacters) {
        const QTextBlock block = m_nextSourceBlock;
        if (block == m_source->firstBlock()) {
            cursor.setBlockFormat(block.blockFormat());
            cursor.setBlockCharFormat(block.charFormat());
        } else {
            cursor.insertBlock(block.blockFormat(), block.charFormat());
        }
        for (auto run = block.begin(); !run.atEnd(); ++run)
            cursor.insertText(run.fragment().text(), run.fragment().charFormat());
        taken += block.length();
        m_nextSourceBlock = block.next();
    }
    cursor.endEditBlock();
    if (!m_nextSourceBlock.isValid())
        stopFilling();
}

void VeskRichTextReadView::stopFilling()
{
    m_source.reset();
    m_nextSourceBlock = QTextBlock();
    if (m_fill)
        m_fill->stop();
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
    if (index >= documentLength(document) || !toggledGlyph(document.characterAt(index)))
        return false;
    if (m_truncated || m_loading) {
        // Storing what is shown would replace the body with part of it.
        QApplication::beep();
        return true;
    }
    if (!toggleGlyphAt(document, index))
        return false;
    // A body still coming onto the screen is written back from the whole of it, which holds the
    // shown blocks at the same positions.
    if (isFilling())
        toggleGlyphAt(*m_source, index);
    m_textView->viewport()->update();
    reportChange();
    return true;
}

void VeskRichTextReadView::reportChange()
{
    const quint64 generation = ++m_changeGeneration;
    const QTextDocument& document = isFilling() ? *m_source : *m_textView->document();
    const bool large = documentLength(document) > kSynchronousCharacters;
    // Reading the formats is quick; detecting links and writing are not, for a long body.
    RtfContent content = contentFromDocument(document);
    const QString systemFamily = richTextSystemFamily();
    auto deliver = [this, generation](const std::optional<QByteArray>& rtf) {
        // A later click's body holds this click's change as well.
        if (generation != m_changeGeneration || !rtf)
            return;
        m_shownRtf = *rtf;
        if (m_onRTFChange)
            m_onRTFChange(*rtf);
    };
    if (!large) {
        deliver(makeRTFData(std::move(content), systemFamily));
        return;
    }
    // Handed on from the event loop, never inside the click, even when the worker is done first.
    deliverResult(this, QtConcurrent::run(workPool(), [content = std::move(content), systemFamily]() mutable {
        return makeRTFData(std::move(content), systemFamily);
    }), [deliver](const std::optional<QByteArray>& rtf) { deliver(rtf); });
}

} // namespace vesk
