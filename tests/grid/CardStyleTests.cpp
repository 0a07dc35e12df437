#include "model/ItemFileKinds.h"
#include "present/ItemDates.h"
#include "grid/CardDetailsLayout.h"
#include "grid/VeskCardPainter.h"
#include "grid/VeskCardStyle.h"
#include "platform/WorkPool.h"
#include "platform/WorkPools.h"
#include "platform/ui/Theme.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintEngine>
#include <QRawFont>
#include <QTextLayout>
#include <QTextItem>
#include <QImage>
#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskCardFlags flags(std::initializer_list<bool VeskCardFlags::*> on)
{
    VeskCardFlags f;
    for (auto member : on)
        f.*member = true;
    return f;
}

using F = VeskCardFlags;

TEST(CardStyle, TopResultAndBadges)
{
    // Browsing: the first card carries the stronger tint and otherwise rests.
    const VeskCardStyle first = cardStyleFor(flags({&F::isTopResult}));
    EXPECT_EQ(first.tint, CardTint::Accent);
    EXPECT_DOUBLE_EQ(first.tintOpacity, 0.06);
    EXPECT_DOUBLE_EQ(first.scale, 1.0);
    EXPECT_DOUBLE_EQ(first.shadowOpacity, 0.06);
    EXPECT_FALSE(first.topResultRing);
    EXPECT_EQ(first.badge, CardBadge::None);

    EXPECT_EQ(cardStyleFor(flags({&F::isBroughtBack, &F::isTopResult, &F::isSearching})).badge, CardBadge::Closest);
    EXPECT_EQ(cardStyleFor(flags({&F::isBroughtBack, &F::isTopResult})).badge, CardBadge::BroughtBack);
    EXPECT_EQ(cardStyleFor(flags({&F::isBroughtBack, &F::isSearching})).badge, CardBadge::None);

    const VeskCardStyle top = cardStyleFor(flags({&F::isTopResult, &F::isSearching}));
    const VeskCardStyle pulsed = cardStyleFor(flags({&F::isTopResult, &F::isSearching, &F::surfacePulse}));
    EXPECT_DOUBLE_EQ(top.scale, 1.028);
    EXPECT_DOUBLE_EQ(top.offsetY, -5);
    EXPECT_DOUBLE_EQ(pulsed.scale, 1.036);
    EXPECT_DOUBLE_EQ(pulsed.offsetY, -7);
    EXPECT_DOUBLE_EQ(top.ringWidth, 0.8);
    EXPECT_DOUBLE_EQ(pulsed.ringWidth, 1.4);
    EXPECT_DOUBLE_EQ(pulsed.shadowRadius, 26);
}

TEST(CardStyle, SearchDimmingSelectionAndHover)
{
    const VeskCardStyle dimmed = cardStyleFor(flags({&F::isSearching}));
    EXPECT_DOUBLE_EQ(dimmed.opacity, 0.78);
    EXPECT_DOUBLE_EQ(dimmed.scale, 0.992);
    EXPECT_DOUBLE_EQ(cardStyleFor(flags({&F::isSearching, &F::isSelected})).scale, 1.012);

    const VeskCardStyle both = cardStyleFor(flags({&F::isSelected, &F::isMultiSelected}));
    EXPECT_EQ(both.border, CardBorder::MultiSelected);
    EXPECT_DOUBLE_EQ(both.borderWidth, 2.2);
    EXPECT_DOUBLE_EQ(both.borderOpacity, 0.98);
    EXPECT_TRUE(both.multiSelectionMark);

    const VeskCardStyle hovered = cardStyleFor(flags({&F::isHovering}));
    EXPECT_TRUE(hovered.tilt);
    EXPECT_TRUE(hovered.hoverSheen);
    EXPECT_DOUBLE_EQ(hovered.scale, 1.014);
    EXPECT_DOUBLE_EQ(hovered.offsetY, -4);
    EXPECT_FALSE(cardStyleFor(flags({&F::isHovering, &F::isSearching})).tilt);
    const VeskCardStyle hoveredSelected = cardStyleFor(flags({&F::isHovering, &F::isSelected}));
    EXPECT_FALSE(hoveredSelected.tilt);
    EXPECT_DOUBLE_EQ(hoveredSelected.scale, 1.012);
    EXPECT_DOUBLE_EQ(hoveredSelected.offsetY, 0);
}

TEST(CardStyle, CapturePulseRaisesThenSettlesKeepingSearchDimming)
{
    const VeskCardStyle raised = cardStyleFor(flags({&F::capturePulse, &F::isSearching}));
    EXPECT_DOUBLE_EQ(raised.scale, 1.022);
    EXPECT_DOUBLE_EQ(raised.offsetY, -6);
    EXPECT_DOUBLE_EQ(raised.opacity, 0.78);
    const VeskCardStyle settled = cardStyleFor(flags({&F::capturePulse, &F::capturePulseExpanded}));
    EXPECT_DOUBLE_EQ(settled.scale, 1.005);
    EXPECT_DOUBLE_EQ(settled.offsetY, -1);
    EXPECT_DOUBLE_EQ(settled.opacity, 1.0);
}

VeskItem item(VeskKind kind, const QString& title = {}, const std::optional<QString>& path = std::nullopt)
{
    VeskItem i;
    i.id = QUuid::createUuid();
    i.kind = kind;
    i.title = title;
    i.filePath = path;
    return i;
}

TEST(CardContent, MediaChoiceFollowsMarkersBeforeKind)
{
    VeskItem card = item(VeskKind::Text, QStringLiteral("Visa"));
    card.text = QStringLiteral("4111 1111 1111 1111");
    card.searchableText = QStringLiteral("__vesk_secure_credit_card__");
    EXPECT_EQ(cardMediaKind(card), CardMediaKind::Secure);
    EXPECT_EQ(cardKindSymbol(card), QStringLiteral("lock.shield.fill"));
    EXPECT_EQ(cardFormatLabel(card), QStringLiteral("SECURE"));
    const CardExtract secret = cardExtract(card, false);
    EXPECT_EQ(secret.kind, CardExtractKind::Secure);
    EXPECT_FALSE(secret.text.contains(QStringLiteral("4111")));

    VeskItem page = item(VeskKind::Text, QStringLiteral("Saved"));
    page.searchableText = QStringLiteral("__vesk_source_html__ text");
    EXPECT_EQ(cardMediaKind(page), CardMediaKind::Web);
    EXPECT_EQ(cardMediaKind(item(VeskKind::File, QStringLiteral("x"), QStringLiteral("/i/page.htm"))), CardMediaKind::Web);
    EXPECT_EQ(cardMediaKind(item(VeskKind::Image)), CardMediaKind::Placeholder);
    const VeskItem scan = item(VeskKind::File, QStringLiteral("scan"), QStringLiteral("/i/scan.png"));
    EXPECT_EQ(cardMediaKind(scan), CardMediaKind::Picture);
    EXPECT_EQ(cardMediaHeight(scan), 113);
    EXPECT_EQ(cardMediaHeight(item(VeskKind::Url)), 78);
    EXPECT_EQ(cardMediaKind(item(VeskKind::Activity)), CardMediaKind::ActivityTile);
}

TEST(CardContent, ANoteOfEmojiIsCutBetweenWholeCharacters)
{
    // 4 UTF-16 units a flag: the extract's length in units falls inside one unless cut as a whole.
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
    VeskItem note = item(VeskKind::Text, QStringLiteral("Flags"));
    note.text = QStringLiteral("ab") + flag.repeated(400);
    const QString extract = cardExtract(note, false).text;
    ASSERT_GT(extract.size(), 900);
    EXPECT_LE(extract.size(), kCardExtractCharacters);
    EXPECT_EQ((extract.size() - 2) % flag.size(), 0) << "cut inside a flag";
}

// What a painter was asked to draw as text: each run of one script and font, where it starts
// and how far it reaches.
class TextRunRecorder : public QPaintDevice {
public:
    struct Run {
        QString text;
        double left = 0;
        double right = 0;
        double baseline = 0;
    };
    QList<Run> runs;

    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight: return 2000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        case PdmDepth: return 32;
        default: return 1000;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(TextRunRecorder& device) : m_device(device) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF& at, const QTextItem& item) override
        {
            const QPointF origin = painter()->transform().map(at);
            m_device.runs.append({item.text(), origin.x(), origin.x() + item.width(), origin.y()});
        }
        Type type() const override { return User; }

    private:
        TextRunRecorder& m_device;
    };
    mutable Engine m_engine {*this};
};

// A title too long for its two lines ends in a "…" that shows, whatever its script: the lines
// are filled as far as the title's own glyphs reach (narrower or wider than any Latin letter),
// and where no installed font has its script, the ellipsis is still drawn as one, not as the box
// that stands for the script's missing glyphs.
TEST(CardPainting, ACutTitleEndsInAVisibleEllipsisInEveryScript)
{
    const struct {
        const char* script;
        QString word;
    } titles[] = {
        {"Latin", QStringLiteral("Donaudampfschifffahrtsgesellschaftskapit\u00e4n")},
        {"Devanagari", QString::fromUtf8("अन्तर्राष्ट्रीयकरणविरोधीआन्दोलनकारियों")},
        {"Thai", QString::fromUtf8("การประชุมคณะกรรมการบริหารมหาวิทยาลัย")},
        {"Arabic", QString::fromUtf8("والاستراتيجيات الاقتصادية")},
        {"Han", QString::fromUtf8("中华人民共和国国际化研究委员会")},
        {"emoji", QString::fromUtf8("👨‍👩‍👧‍👦🇫🇷😀🏳️‍🌈")},
    };
    VeskCardContent card;
    card.item.kind = VeskKind::Text;
    const QFont font = cardTitleFont(card);
    const QFontMetricsF metrics(font);
    const QString ellipsis(QChar(0x2026));
    const QList<quint32> ellipsisGlyph = QRawFont::fromFont(font).glyphIndexesForString(ellipsis);
    // The glyphs the drawn text of a run ends in, shaped as the painter shapes it.
    auto lastGlyph = [&](const QString& text) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        return runs.isEmpty() || runs.last().glyphIndexes().isEmpty() ? quint32(0) : runs.last().glyphIndexes().last();
    };
    const double left = 10;
    for (const auto& title : titles) {
        const QString text = title.word.repeated(30);
        double widest = 0;
        for (const QString& character : QStringList{title.word.split(QString(), Qt::SkipEmptyParts)})
            widest = std::max(widest, metrics.horizontalAdvance(character));
        for (const double width : {96.0, 176.0, 420.0}) {
            SCOPED_TRACE(std::string(title.script) + " at " + std::to_string(int(width)));
            TextRunRecorder recorder;
            QPainter painter(&recorder);
            const double height = cardTextLines(&painter, QPointF(left, 0), width, text, font, Qt::black, 2);
            painter.end();
            EXPECT_EQ(height, 2 * metrics.lineSpacing());
            ASSERT_FALSE(recorder.runs.isEmpty());
            const double lastBaseline = recorder.runs.last().baseline;
            double lastLineEnd = left;
            QString shown;
            for (const TextRunRecorder::Run& run : recorder.runs) {
                shown += run.text;
                EXPECT_GE(run.left, left - 0.5) << run.text.toStdString();
                EXPECT_LE(run.right, left + width + 0.5) << run.text.toStdString();
                if (run.baseline == lastBaseline)
                    lastLineEnd = std::max(lastLineEnd, run.right);
            }
            EXPECT_TRUE(shown.endsWith(ellipsis)) << shown.toStdString();
            ASSERT_EQ(ellipsisGlyph.size(), 1);
            EXPECT_EQ(lastGlyph(recorder.runs.last().text), ellipsisGlyph.first())
                << "drawn as a missing glyph: " << recorder.runs.last().text.toStdString();
            // Cut where the next character would not have fit, not before.
            EXPECT_GT(lastLineEnd, left + width - widest - metrics.horizontalAdvance(ellipsis)) << shown.toStdString();
        }
    }
}

TEST(CardContent, LinkHostsFileNamesAndExtracts)
{
    VeskItem link = item(VeskKind::Url, QStringLiteral("Site"));
    link.urlString = QStringLiteral("example.com/some/path");
    EXPECT_FALSE(linkTileHost(link).has_value());
    link.urlString = QStringLiteral("https://www.example.org/a?b=1");
    EXPECT_EQ(linkTileHost(link), QStringLiteral("www.example.org"));
    link.urlString = QStringLiteral("https://exa mple.org/");
    EXPECT_FALSE(linkTileHost(link).has_value());
    EXPECT_EQ(cardExtract(link, false).kind, CardExtractKind::Url);

    // A web page kept as a link keeps its URL line but shows as HTML.
    link.searchableText = QStringLiteral("__vesk_source_html__");
    EXPECT_EQ(cardKindSymbol(link), QStringLiteral("globe"));
    EXPECT_EQ(cardFormatLabel(link), QStringLiteral("HTML"));
    EXPECT_EQ(cardExtract(link, false).kind, CardExtractKind::Url);
    EXPECT_EQ(cardExtract(item(VeskKind::Url), false).kind, CardExtractKind::None);

    const VeskItem bare = item(VeskKind::File, QStringLiteral("Thing"));
    EXPECT_FALSE(fileTileName(bare).has_value());
    EXPECT_EQ(cardFormatLabel(bare), QStringLiteral("FILE"));
    const VeskItem pdf = item(VeskKind::File, QStringLiteral("Report"), QStringLiteral("/Items/A/Report.pdf"));
    EXPECT_EQ(fileTileName(pdf), QStringLiteral("Report.pdf"));
    EXPECT_EQ(cardKindSymbol(pdf), QStringLiteral("doc"));
    EXPECT_EQ(cardFormatLabel(pdf), QStringLiteral("PDF"));

    VeskItem note = item(VeskKind::Text, QStringLiteral("Note"));
    note.text = QStringLiteral("body");
    EXPECT_EQ(cardExtract(note, true).kind, CardExtractKind::RichText);
    EXPECT_EQ(cardExtract(note, false).kind, CardExtractKind::PlainText);
}

// How sharp the drawing inside a rectangle is: the mean step in grey level between neighbouring
// pixels. Resampling a picture of text softens every glyph edge and lowers it.
double edgeEnergy(const QImage& image, const QRect& area)
{
    double total = 0;
    for (int y = area.top(); y < area.bottom(); ++y) {
        for (int x = area.left(); x < area.right(); ++x) {
            const int here = qGray(image.pixel(x, y));
            total += std::abs(here - qGray(image.pixel(x + 1, y))) + std::abs(here - qGray(image.pixel(x, y + 1)));
        }
    }
    return total / (double(area.width() - 1) * (area.height() - 1));
}

TEST(CardPainting, ScaledCardsAtRestKeepTheirTextSharp)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Text;
    item.title = QStringLiteral("Harbour lantern letter");
    item.text = QStringLiteral("Quarterly mountain sketch notes for the river walk");
    item.createdAt = QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);
    VeskCardContent content;
    content.item = item;
    content.displayTitle = item.title;
    content.dates = cardDatesFor(item, std::nullopt);

    auto render = [&](const VeskCardFlags& f, CardPaintCache* cache) {
        QImage image(QSize(260, 240), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        paintVeskCard(painter, QRectF(30, 26, 200, kCardHeight), content, CardLook::from(cardStyleFor(f), f, false),
                      Theme::current(), cache);
        return image;
    };
    // The details text of the card: dates, title and extract.
    const QRect text(48, 112, 164, 70);
    // Searching shrinks every other card, the top result and a selection grow, the hovered card
    // lifts and tilts: through the cache each must be as sharp as the card drawn directly, not a
    // resampled, blurred picture of it.
    for (const VeskCardFlags& f : {flags({&F::isSearching}), flags({&F::isSearching, &F::isTopResult}),
                                   flags({&F::isSelected}), flags({&F::isHovering}), flags({})}) {
        CardPaintCache cache;
        const QImage cached = render(f, &cache);
        const QImage direct = render(f, nullptr);
        EXPECT_GT(edgeEnergy(cached, text), 0.95 * edgeEnergy(direct, text))
            << "searching " << f.isSearching << " top " << f.isTopResult << " selected " << f.isSelected
            << " hovering " << f.isHovering;
    }
}

// A badge at the card's corner never lands on the tile's label ("SECURE VESK", a file's format):
// under where either badge comes, the tile alone shows no text, at any card width.
TEST(CardPainting, BadgesAndTileLabelsKeepApart)
{
    auto content = [](VeskKind kind, const QString& marker, const QString& path) {
        VeskCardContent c;
        c.item.id = QUuid::createUuid();
        c.item.kind = kind;
        c.item.title = QStringLiteral("Router");
        c.item.searchableText = marker;
        if (!path.isEmpty())
            c.item.filePath = path;
        c.item.createdAt = QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);
        c.displayTitle = c.item.title;
        c.dates = cardDatesFor(c.item, std::nullopt);
        return c;
    };
    const VeskCardContent cards[] = {
        content(VeskKind::Text, QStringLiteral("__vesk_secure__"), QString()),
        content(VeskKind::Text, QStringLiteral("__vesk_secure_credit_card__"), QString()),
        content(VeskKind::Activity, QStringLiteral("__vesk_activity__"), QString()),
        content(VeskKind::File, QString(), QStringLiteral("/library/Items/A/deck.key")),
    };
    for (const VeskCardContent& card : cards) {
        for (const double width : {180.0, 200.0, 240.0}) {
            for (const bool broughtBack : {false, true}) {
                SCOPED_TRACE(card.item.searchableText.toString().toStdString() + " width " + std::to_string(int(width))
                             + (broughtBack ? " brought back" : " closest"));
                auto render = [&](double presence) {
                    QImage image(QSize(int(width) + 60, 240), QImage::Format_ARGB32_Premultiplied);
                    image.fill(Qt::white);
                    QPainter painter(&image);
                    CardLook look = CardLook::from(cardStyleFor({}), {}, false);
                    look[broughtBack ? CardLook::BroughtBackBadge : CardLook::ClosestBadge] = presence;
                    paintVeskCard(painter, QRectF(30, 26, width, kCardHeight), card, look, Theme::current());
                    return image;
                };
                const QImage bare = render(0.0);
                const QImage badged = render(1.0);
                QRect badge;
                for (int y = 0; y < bare.height(); ++y) {
                    for (int x = 0; x < bare.width(); ++x) {
                        if (bare.pixel(x, y) != badged.pixel(x, y))
                            badge |= QRect(x, y, 1, 1);
                    }
                }
                ASSERT_FALSE(badge.isEmpty());
                EXPECT_LT(edgeEnergy(bare, badge.adjusted(1, 1, -1, -1)), 1.0) << "the tile shows text under the badge";
            }
        }
    }
}

// A card's title, extract, dates and label are drawn from glyphs laid out once: each line must
// still start at the text column's left edge, whatever white space it starts with, and a line
// too long for the card must end in its ellipsis inside the column, not run on past it.
TEST(CardPainting, CardTextStaysInItsColumnWithoutTheWhiteSpaceItStartsWith)
{
    const CardLook look = CardLook::from(cardStyleFor({}), {}, false);
    auto body = [&](const QString& title, const QString& text) {
        VeskCardContent content;
        content.item.id = QUuid::createUuid();
        content.item.kind = VeskKind::Text;
        content.item.title = title;
        content.item.text = text;
        content.item.createdAt = QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);
        content.displayTitle = title;
        content.dates = cardDatesFor(content.item, std::nullopt);
        const QImage rendered = renderCardBody(content, look, QSizeF(200, kCardHeight), 1.0, Theme::current());
        QImage image(rendered.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawImage(0, 0, rendered);
        return std::pair{image, cardMediaHeight(content.item)};
    };
    EXPECT_EQ(body("Plan", "Indented words").first, body("Plan", "   Indented words").first);
    EXPECT_EQ(body("Plan", "Two lines of words that wrap once in the card and end there").first,
              body("Plan", "  Two lines of words that wrap once in the card and end there  ").first);

    QString words;
    for (int i = 0; i < 60; ++i)
        words += QStringLiteral("lantern%1 ").arg(i);
    for (const auto& [title, text] : {std::pair{QString(80, QLatin1Char('W')), words},
                                      std::pair{words, QString(300, QLatin1Char('m'))},
                                      std::pair{QStringLiteral("Plan"), QStringLiteral("\n\n   ") + words}}) {
        const auto [image, mediaHeight] = body(title, text);
        const double margin = kCardBodyMargin;
        const int columnLeft = int(margin + 12) - 1, columnRight = int(margin + 200 - 12) + 1;
        int outside = 0, inside = 0;
        for (int y = int(margin) + mediaHeight + 4; y < int(margin + kCardHeight) - 4; ++y) {
            for (int x = int(margin) + 4; x < int(margin + 200) - 4; ++x) {
                const bool ink = qGray(image.pixel(x, y)) < 150;
                (x < columnLeft || x > columnRight ? outside : inside) += ink;
            }
        }
        EXPECT_EQ(outside, 0) << title.left(10).toStdString();
        EXPECT_GT(inside, 200) << title.left(10).toStdString();
    }
}

// While searching, every kind of card shows its reason line, however little room its media
// leaves; the lines that give way for it never run past the card's edge.
TEST(CardPainting, EveryKindOfCardShowsItsReasonLineWithinTheCard)
{
    QString words;
    for (int i = 0; i < 30; ++i)
        words += QStringLiteral("harbour%1 ").arg(i);
    auto content = [&](VeskKind kind, const QString& title) {
        VeskCardContent c;
        c.item.id = QUuid::createUuid();
        c.item.kind = kind;
        c.item.title = title;
        c.displayTitle = title;
        c.item.createdAt = QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);
        if (kind == VeskKind::Text)
            c.item.text = words;
        if (kind == VeskKind::Url)
            c.item.urlString = QStringLiteral("https://example.com/") + QString(80, QLatin1Char('p'));
        if (kind == VeskKind::File)
            c.item.filePath = QStringLiteral("/library/Items/A/report.pdf");
        c.dates = cardDatesFor(c.item, std::nullopt);
        c.retrievalHint = QStringLiteral("Found in image");
        c.isTopResult = true;
        return c;
    };
    const VeskCardContent cards[] = {
        content(VeskKind::Image, QStringLiteral("Beach")),
        content(VeskKind::Image, words),
        content(VeskKind::Text, words),
        content(VeskKind::Text, QStringLiteral("Plan")),
        content(VeskKind::File, words),
        content(VeskKind::Url, words),
    };
    const double width = 200;
    const double reasonLine = QFontMetricsF(cardReasonFont()).lineSpacing();
    const double labelHeight = QFontMetricsF(cardFormatLabelFont()).height();
    for (const VeskCardContent& card : cards) {
        SCOPED_TRACE(card.item.title.left(12).toStdString() + " kind " + std::to_string(int(card.item.kind)));
        const double height = kCardHeight - cardMediaHeight(card.item);
        const CardDetailsLayout searching = layOutCardDetails(card, true, height, width);
        ASSERT_TRUE(searching.reasonTop);
        EXPECT_LE(*searching.reasonTop + reasonLine, height);
        if (searching.labelTop)
            EXPECT_LE(*searching.labelTop + labelHeight, height);
        // Browsing, nothing gives way for it: the format label shows on every card.
        const CardDetailsLayout browsing = layOutCardDetails(card, false, height, width);
        EXPECT_FALSE(browsing.reasonTop);
        ASSERT_TRUE(browsing.labelTop);
        EXPECT_LE(*browsing.labelTop + labelHeight, height);
        EXPECT_GE(browsing.titleLines, searching.titleLines);
    }

    // The line is drawn, in the accent colour, on a picture's card too.
    auto reasonInk = [&](const VeskCardContent& card, bool searching) {
        VeskCardFlags flags;
        flags.isSearching = searching;
        const CardLook look = CardLook::from(cardStyleFor(flags), flags, true);
        const QImage image = renderCardBody(card, look, QSizeF(width, kCardHeight), 1.0, Theme::current());
        int accent = 0;
        for (int y = int(kCardBodyMargin) + cardMediaHeight(card.item); y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = QColor::fromRgba(image.pixel(x, y));
                accent += c.alpha() > 60 && c.blue() > c.red() + 60;
            }
        }
        return accent;
    };
    EXPECT_GT(reasonInk(cards[0], true), 20);
    EXPECT_EQ(reasonInk(cards[0], false), 0);
}

// One note's card, always the same item.
VeskCardContent contentOf(const QString& title)
{
    VeskCardContent content;
    content.item.id = QUuid(QStringLiteral("{6f7c2a55-3d0b-4e54-9d57-1b0c5d1b2f10}"));
    content.item.kind = VeskKind::Text;
    content.item.title = title;
    content.item.text = QStringLiteral("Notes for the river walk");
    content.item.createdAt = QDateTime(QDate(2026, 3, 4), QTime(10, 0), Qt::UTC);
    content.displayTitle = title;
    content.dates = cardDatesFor(content.item, std::nullopt);
    return content;
}

// Bodies rendered ahead of the first frame are what that frame draws; a card that changed in the
// meantime is drawn as it is now, not as it was when the rendering began.
TEST(CardPainting, PrefetchedBodiesAreDrawnOnlyWhileTheirCardsAreUnchanged)
{
    const CardLook look = CardLook::from(cardStyleFor({}), {}, false);
    auto paint = [&](CardPaintCache& cache, const VeskCardContent& content) {
        QImage image(QSize(260, 240), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        paintVeskCard(painter, QRectF(30, 26, 200, kCardHeight), content, look, Theme::current(), &cache);
        return image;
    };
    const QSizeF size(200, kCardHeight);
    const VeskCardContent before = contentOf(QStringLiteral("Harbour lantern"));
    const VeskCardContent after = contentOf(QStringLiteral("Mountain ledger"));
    CardPaintCache plain;
    const QImage expectedBefore = paint(plain, before);
    const QImage expectedAfter = paint(plain, after);
    ASSERT_NE(expectedBefore, expectedAfter);

    for (const bool changed : {false, true}) {
        CardPaintCache cache;
        cache.prefetchBodies({{before, look, size, 1.0}}, Theme::current());
        const VeskCardContent& now = changed ? after : before;
        cache.prepareBodies({{now, look, size, 1.0}, {contentOf(QStringLiteral("other")), look, size, 1.0}},
                            Theme::current());
        EXPECT_EQ(paint(cache, now), changed ? expectedAfter : expectedBefore) << changed;
    }
    // Cleared (a new appearance) before it was taken, a prefetch leaves nothing behind.
    CardPaintCache cache;
    cache.prefetchBodies({{before, look, size, 1.0}}, Theme::current());
    cache.clear();
    EXPECT_EQ(paint(cache, after), expectedAfter);
}

// A card's body drawn and left keeps nothing of its item's text once the grid keeps only the
// cards near its view: a long note's text stayed in memory after the note was deleted.
TEST(CardPainting, BodiesLeftGoOfKeepNoTextOfTheirItems)
{
    const CardLook look = CardLook::from(cardStyleFor({}), {}, false);
    VeskCardContent content = contentOf(QStringLiteral("Long note"));
    content.item.text = QString(200'000, QLatin1Char('w'));
    const ItemText text = *content.item.text;
    CardPaintCache cache;
    (void)cache.body(content, look, QSizeF(200, kCardHeight), 1.0, Theme::current());
    content = {};
    EXPECT_FALSE(text.utf8().isDetached());
    cache.keepOnly({QUuid::createUuid()});
    // Let go of on a worker.
    workPool()->waitForDone();
    EXPECT_TRUE(text.utf8().isDetached());
}

// Bodies asked for in one appearance are painted in it, even when the appearance switches while
// they still wait for a painting thread: the workers read the theme as it was when asked, never
// the one the main thread is changing.
TEST(CardPainting, QueuedBodiesKeepTheAppearanceTheyWereAskedIn)
{
    const VeskCardContent content = contentOf(QStringLiteral("Harbour lantern"));
    const CardLook look = CardLook::from(cardStyleFor({}), {}, false);
    const QSizeF size(200, kCardHeight);
    Theme theme;
    const QImage light = CardPaintCache().body(content, look, size, 1.0, theme);
    theme.setAppearance(Appearance::Dark);
    ASSERT_NE(CardPaintCache().body(content, look, size, 1.0, theme), light);
    theme.setAppearance(Appearance::Light);

    for (const CardPaintCache::Spread spread : {CardPaintCache::Spread::AllThreads, CardPaintCache::Spread::OneThread}) {
        // Every painting thread is held, so the bodies wait in the queue while the switch comes.
        QThreadPool* pool = WorkPools::shared().painting();
        const int threads = pool->maxThreadCount();
        QSemaphore held;
        for (int i = 0; i < threads; ++i)
            pool->start([&held] { held.acquire(); });
        CardPaintCache cache;
        cache.prefetchBodies({{content, look, size, 1.0}}, theme, spread);
        theme.setAppearance(Appearance::Dark);
        held.release(threads);
        pool->waitForDone();
        theme.setAppearance(Appearance::Light);
        cache.prepareBodies({{content, look, size, 1.0}}, theme); // takes the prefetched body
        EXPECT_EQ(cache.body(content, look, size, 1.0, theme), light) << int(spread);
    }
}

// A picture whose thumbnail failed says "Preview unavailable" under its symbol instead of showing
// the same bare placeholder as one still loading.
TEST(CardPainting, UndecodablePictureSaysPreviewUnavailable)
{
    VeskCardContent content;
    content.item.id = QUuid::createUuid();
    content.item.kind = VeskKind::Image;
    content.item.title = QStringLiteral("broken");
    content.item.filePath = QStringLiteral("/Items/A/broken.jpg");
    content.displayTitle = content.item.title;
    auto render = [&](bool unavailable) {
        content.previewUnavailable = unavailable;
        QImage image(QSize(260, 240), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        CardPaintCache cache;
        paintVeskCard(painter, QRectF(30, 26, 200, kCardHeight), content, CardLook::from(cardStyleFor({}), {}, false),
                      Theme::current(), &cache);
        return image;
    };
    const QImage waiting = render(false);
    const QImage failed = render(true);
    // The lower part of the media area, where the caption sits.
    int changed = 0;
    for (int y = 26 + 70; y < 26 + 113; ++y)
        for (int x = 30; x < 230; ++x)
            changed += waiting.pixel(x, y) != failed.pixel(x, y);
    EXPECT_GT(changed, 40);
}

} // namespace
} // namespace vesk
