#include "pane/KeptLayoutLabel.h"

#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

namespace vesk {
namespace {

struct Case {
    const char* text;
    qreal pointSize;
    Qt::Alignment alignment;
    qreal pixelRatio;
};

QImage rendered(QLabel& label, qreal pixelRatio)
{
    QImage image(label.size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::white);
    label.render(&image);
    return image;
}

// The kept line must land on the pixels the label itself draws, at sizes whose line height is a
// fraction of a pixel, centred either way, at both pixel ratios; and the texts the label draws
// its own way (right to left, a tab, a mnemonic, rich text) must not change look either.
TEST(KeptLayoutLabel, DrawsWhatAPlainLabelDraws)
{
    const Case cases[] = {
        {"This reminds me of\u2026", 11, Qt::AlignLeft | Qt::AlignVCenter, 1},
        {"Related Versions", 10, Qt::AlignLeft | Qt::AlignVCenter, 2},
        {"meaning + memory", 10, Qt::AlignLeft | Qt::AlignVCenter, 2},
        {"Dec 9, 2026, 13:50", 10.5, Qt::AlignCenter, 1},
        {"These look like iterations of the same work.", 13, Qt::AlignLeft | Qt::AlignTop, 2},
        {"\u00dcn\u00efc\u00f6d\u00e9 \u0645\u0631\u062d\u0628\u0627 \u65e5\u672c\u8a9e", 11, Qt::AlignCenter, 2},
        {"\u0645\u0631\u062d\u0628\u0627 hello", 11, Qt::AlignLeft | Qt::AlignVCenter, 1},
        {"tab\there", 11, Qt::AlignLeft | Qt::AlignVCenter, 2},
        {"Save && Close", 11, Qt::AlignLeft | Qt::AlignVCenter, 1},
        {"<b>bold</b> words", 11, Qt::AlignLeft | Qt::AlignVCenter, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QFont font;
        font.setPointSizeF(c.pointSize);
        // Taller than the text by an even and an odd number of pixels: the line is centred on
        // half pixels too.
        for (const int extra : {4, 5}) {
            QLabel plain(QString::fromUtf8(c.text));
            KeptLayoutLabel kept(QString::fromUtf8(c.text));
            for (QLabel* label : {&plain, static_cast<QLabel*>(&kept)}) {
                label->setFont(font);
                label->setAlignment(c.alignment);
                label->resize(label->sizeHint() + QSize(7, extra));
            }
            EXPECT_EQ(rendered(kept, c.pixelRatio), rendered(plain, c.pixelRatio));
            // Painted again with another text, the kept line follows it.
            plain.setText(QStringLiteral("Created"));
            kept.setText(QStringLiteral("Created"));
            EXPECT_EQ(rendered(kept, c.pixelRatio), rendered(plain, c.pixelRatio));
        }
    }
}

} // namespace
} // namespace vesk
