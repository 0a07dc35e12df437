#include "platform/preview/TextPageThumbnail.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>

namespace vesk {

namespace {

// Enough for the lines a thumbnail shows; a web page's visible text may start far in.
constexpr qint64 kPlainTextBytes = 16 * 1024;
constexpr qint64 kHtmlBytes = 512 * 1024;
constexpr int kShownCharacters = 6000;
// A page in portrait, as a printed page would be.
constexpr double kPageAspect = 0.77;

QString decoded(const QByteArray& bytes)
{
    // A multi-byte character cut at the end of the read is no reason to give up on UTF-8; any
    // other invalid byte means an older single-byte file.
    for (qsizetype cut = 0; cut <= std::min<qsizetype>(3, bytes.size()); ++cut) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes.first(bytes.size() - cut));
        if (!utf8.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

} // namespace

QString textPageText(const QByteArray& bytes, TextPageSource source)
{
    QString text = decoded(bytes);
    if (source == TextPageSource::Html) {
        // Scripts, styles and comments are no part of what a page shows; the document would
        // otherwise keep a style's text.
        static const QRegularExpression hidden(
            QStringLiteral("<(script|style|noscript|template)\\b[^>]*>.*?</\\1\\s*>|<!--.*?-->"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        text.remove(hidden);
        QTextDocument document;
        document.setHtml(text);
        text = document.toPlainText();
        // Blank lines the layout of the page left behind say nothing in a thumbnail.
        static const QRegularExpression blankRuns(QStringLiteral("\\n[\\s\\x{2029}]*\\n"));
        text.replace(blankRuns, QStringLiteral("\n"));
    }
    text.replace(QLatin1Char('\t'), QStringLiteral("    "));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    return text.trimmed().left(kShownCharacters);
}

QImage textPageThumbnail(const QString& path, TextPageSource source, QSize maxSize)
{
    if (maxSize.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text =
        textPageText(file.read(source == TextPageSource::Html ? kHtmlBytes : kPlainTextBytes), source);
    if (text.isEmpty())
        return {};

    QSize page(int(maxSize.height() * kPageAspect), maxSize.height());
    if (page.width() > maxSize.width())
        page = QSize(maxSize.width(), int(maxSize.width() / kPageAspect));
    page = page.expandedTo(QSize(8, 8));
    QImage image(page, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QColor(0, 0, 0, 40));
    painter.drawRect(QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5));

    // About thirty characters a line, as a page seen from afar: the first lines, not all of them.
    QFont font = source == TextPageSource::PlainText ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(6, page.width() / 20));
    painter.setFont(font);
    painter.setPen(QColor(28, 28, 30));
    const int margin = std::max(3, page.width() / 12);
    const QRectF room = QRectF(image.rect()).adjusted(margin, margin, -margin, -margin);
    painter.setClipRect(room);
    QTextOption layout(Qt::AlignLeft | Qt::AlignTop);
    layout.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.drawText(room, text, layout);
    return image;
}

} // namespace vesk
