#include "pane/StoredCopyPathLabel.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMenu>

namespace vesk {

namespace {

const QString kEllipsis = QStringLiteral("\u2026");

// "/home/ana/notes.txt" -> "/", "home/", "ana/", "notes.txt": each piece ends where a line may.
QStringList pathPieces(const QString& path)
{
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == QLatin1Char('/')) {
            pieces.append(path.mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < path.size())
        pieces.append(path.mid(start));
    return pieces;
}

// The text shortened in its middle until it fits; at least an ellipsis.
QString elidedInMiddle(const QString& text, qreal width, const std::function<qreal(const QString&)>& measure)
{
    if (measure(text) <= width)
        return text;
    for (qsizetype keep = text.size() - 1; keep > 0; --keep) {
        const qsizetype head = (keep + 1) / 2;
        const QString candidate = text.left(head) + kEllipsis + text.right(keep - head);
        if (measure(candidate) <= width)
            return candidate;
    }
    return kEllipsis;
}

// Whole pieces from `from`, as many as fit on lines, at most `lineCount` lines; returns the lines
// and sets `from` past the last piece taken. A piece wider than a line gets a line of its own,
// shortened.
QStringList fillLines(const QStringList& pieces, qsizetype& from, qsizetype until, qreal width, int lineCount,
                      const std::function<qreal(const QString&)>& measure)
{
    QStringList lines;
    QString line;
    while (from < until) {
        const QString& piece = pieces[from];
        if (line.isEmpty() || measure(line + piece) <= width) {
            if (line.isEmpty() && measure(piece) > width)
                line = elidedInMiddle(piece, width, measure);
            else
                line += piece;
            ++from;
            continue;
        }
        lines.append(line);
        line.clear();
        if (lines.size() == lineCount)
            return lines;
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

} // namespace

QString pathLines(const QString& path, qreal width, int maxLines, const std::function<qreal(const QString&)>& measure)
{
    const QStringList pieces = pathPieces(path);
    if (pieces.isEmpty() || maxLines <= 0)
        return {};
    qsizetype next = 0;
    const QStringList whole = fillLines(pieces, next, pieces.size(), width, maxLines, measure);
    if (next == pieces.size())
        return whole.join(QLatin1Char('\n'));

    // Too long: the file's name and the folders nearest it close the last line, after "…/".
    const QString& name = pieces.last();
    qsizetype tailStart = pieces.size() - 1;
    QString tail = name;
    if (measure(kEllipsis + QLatin1Char('/') + name) > width) {
        tail = elidedInMiddle(name, width, measure);
    } else {
        while (tailStart - 1 > 0
               && measure(kEllipsis + QLatin1Char('/') + pieces[tailStart - 1] + tail) <= width) {
            --tailStart;
            tail.prepend(pieces[tailStart]);
        }
        tail.prepend(kEllipsis + QLatin1Char('/'));
    }
    qsizetype head = 0;
    QStringList lines = fillLines(pieces, head, tailStart, width, maxLines - 1, measure);
    lines.append(tail);
    return lines.join(QLatin1Char('\n'));
}

StoredCopyPathLabel::StoredCopyPathLabel(const QString& path, QWidget* parent)
    : QLabel(parent)
    , m_path(path)
{
    setToolTip(path);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    refit();
}

void StoredCopyPathLabel::setPath(const QString& path)
{
    m_path = path;
    setToolTip(path);
    refit();
}

QSize StoredCopyPathLabel::minimumSizeHint() const
{
    return {0, kMaximumLines * fontMetrics().lineSpacing()};
}

void StoredCopyPathLabel::copyPath() const
{
    QApplication::clipboard()->setText(m_path);
}

void StoredCopyPathLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refit();
}

void StoredCopyPathLabel::contextMenuEvent(QContextMenuEvent* event)
{
    // The shown text may be shortened and broken: copying always takes the whole path.
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Copy Path")), &QAction::triggered, this, &StoredCopyPathLabel::copyPath);
    menu.exec(event->globalPos());
}

void StoredCopyPathLabel::refit()
{
    const QFontMetricsF metrics(font());
    const qreal lineWidth = std::max(40, width());
    const QString shown = pathLines(m_path, lineWidth, kMaximumLines,
                                    [&metrics](const QString& text) { return metrics.horizontalAdvance(text); });
    if (shown != text())
        setText(shown);
}

} // namespace vesk
