#include "richtext/VeskRichTextSnippet.h"

#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <cmath>

namespace vesk {

qreal heightOfFirstLines(QTextDocument& document, int maximumLines)
{
    int lines = 0;
    qreal bottom = 0;
    for (QTextBlock block = document.begin(); block.isValid() && lines < maximumLines; block = block.next()) {
        const QRectF blockRect = document.documentLayout()->blockBoundingRect(block);
        const QTextLayout* layout = block.layout();
        if (!layout || layout->lineCount() == 0) {
            bottom = blockRect.bottom();
            ++lines;
            continue;
        }
        for (int i = 0; i < layout->lineCount() && lines < maximumLines; ++i, ++lines) {
            const QTextLine line = layout->lineAt(i);
            bottom = layout->position().y() + line.y() + line.height();
        }
    }
    return bottom;
}

VeskRichTextSnippet::VeskRichTextSnippet(QWidget* parent) : QWidget(parent), m_document(makeRichTextDocument())
{
    m_document->setDocumentMargin(0);
    layOutInDesignPoints(*m_document);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

VeskRichTextSnippet::VeskRichTextSnippet(const QByteArray& rtfData, int maximumLines, QWidget* parent)
    : VeskRichTextSnippet(parent)
{
    m_maximumLines = std::max(1, maximumLines);
    setRtfData(rtfData);
}

VeskRichTextSnippet::~VeskRichTextSnippet() = default;

void VeskRichTextSnippet::setRtfData(const QByteArray& rtfData)
{
    m_rtf = rtfData;
    load();
}

void VeskRichTextSnippet::load()
{
    // A card shows a line or two: only the paragraphs and characters that could fill them are
    // read and laid out, however long the body.
    RtfReaderLimits limits;
    limits.maxParagraphs = m_maximumLines;
    limits.maxTextLength = qsizetype(m_maximumLines) * kCharactersPerLine;
    std::optional<RtfContent> content = parseRtf(m_rtf, limits);
    if (content)
        prepareRichTextContent(*content);
    fillDocument(*m_document, content.value_or(RtfContent{}), palette().color(QPalette::Link));
    m_document->setDefaultFont(defaultRichTextFont());
    m_loadedLines = m_maximumLines;
    updateGeometry();
    update();
}

void VeskRichTextSnippet::setMaximumLines(int maximumLines)
{
    m_maximumLines = std::max(1, maximumLines);
    if (m_maximumLines > m_loadedLines && !m_rtf.isEmpty()) {
        load();
        return;
    }
    updateGeometry();
    update();
}

QString VeskRichTextSnippet::plainText() const
{
    return documentText(*m_document);
}

void VeskRichTextSnippet::applyPalette()
{
    normalizeTextColors(*m_document, palette().color(QPalette::Link));
}

int VeskRichTextSnippet::heightForWidth(int width) const
{
    m_document->setTextWidth(std::max(1, width));
    return int(std::ceil(heightOfFirstLines(*m_document, m_maximumLines)));
}

QSize VeskRichTextSnippet::sizeHint() const
{
    const int width = this->width() > 0 ? this->width() : 240;
    return QSize(width, heightForWidth(width));
}

void VeskRichTextSnippet::paintEvent(QPaintEvent*)
{
    m_document->setTextWidth(std::max(1, width()));
    const qreal visible = std::min<qreal>(height(), heightOfFirstLines(*m_document, m_maximumLines));
    QPainter painter(this);
    painter.setClipRect(QRectF(0, 0, width(), visible));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.palette.setColor(QPalette::Text, palette().color(QPalette::WindowText));
    context.clip = QRectF(0, 0, width(), visible);
    m_document->documentLayout()->draw(&painter, context);
}

void VeskRichTextSnippet::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        applyPalette();
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace vesk
