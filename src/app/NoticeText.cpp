#include "app/NoticeText.h"

#include <QFontMetricsF>
#include <QTextLayout>

namespace vesk {

QStringList noticeLines(const QFont& font, const QString& text, qreal width, int maxLines)
{
    QStringList lines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (maxLines > 0 && lines.size() + 1 == maxLines) {
                // The last line allowed takes what is left and gives way to "…" if it goes on.
                QString rest = paragraph.mid(line.textStart()).trimmed();
                if (&paragraph != &paragraphs.constLast())
                    rest += QStringLiteral(" \u2026");
                lines.append(QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width));
                layout.endLayout();
                return lines;
            }
            lines.append(paragraph.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace vesk
