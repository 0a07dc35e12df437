// The shared UI kit: appearance setting, colours, the symbol map onto the icon font, springs and
// the painting helpers other areas draw with.
#include "platform/Settings.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/SpringAnimator.h"
#include "platform/ui/Theme.h"

#include <QFile>
#include <QPalette>
#include <cmath>
#include <functional>
#include <QImage>
#include <QPixmap>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QRawFont>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ThemeTest, OnlyExactDarkSelectsDarkAppearance)
{
    EXPECT_EQ(appearanceFromRawValue(QStringLiteral("dark")), Appearance::Dark);
    for (const char* raw : {"light", "Dark", "DARK", " dark", "", "sepia"})
        EXPECT_EQ(appearanceFromRawValue(QString::fromLatin1(raw)), Appearance::Light) << raw;
}

TEST(ThemeTest, ReadsAndWritesTheAppearanceSetting)
{
    auto settings = std::make_shared<MemorySettings>();
    Theme fresh;
    fresh.attachSettings(settings);
    EXPECT_EQ(fresh.appearance(), Appearance::Light) << "an empty user defaults file is light";
    EXPECT_EQ(fresh.appearanceRawValue(), QStringLiteral("light"));

    settings->setValue(QStringLiteral("veskAppearance"), QStringLiteral("dark"));
    Theme theme;
    QSignalSpy changed(&theme, &Theme::appearanceChanged);
    theme.attachSettings(settings);
    EXPECT_TRUE(theme.isDark());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(theme.primary(), QColor(255, 255, 255));

    theme.setAppearance(Appearance::Light);
    EXPECT_EQ(settings->value(QStringLiteral("veskAppearance")).toString(), QStringLiteral("light"));
    EXPECT_EQ(changed.count(), 2);
    theme.setAppearance(Appearance::Light);
    EXPECT_EQ(changed.count(), 2) << "setting the same appearance again is not a change";

    // An unknown stored text is kept as written but looks light; no change signal for it.
    theme.setAppearanceRawValue(QStringLiteral("sepia"));
    EXPECT_EQ(theme.appearanceRawValue(), QStringLiteral("sepia"));
    EXPECT_EQ(theme.appearance(), Appearance::Light);
    EXPECT_EQ(changed.count(), 2);
}

TEST(ThemeTest, OpacityMultipliesAndClamps)
{
    Theme theme;
    EXPECT_NEAR(theme.accent(0.055).alphaF(), 0.055, 0.005);
    // Secondary text already carries its own alpha; an opacity scales it further.
    EXPECT_NEAR(theme.secondary(0.5).alphaF(), theme.secondary().alphaF() * 0.5, 0.005);
    EXPECT_EQ(Theme::white(3.0).alpha(), 255);
    EXPECT_EQ(Theme::black(-1.0).alpha(), 0);
    EXPECT_EQ(Theme::rgb(0.48, 0.51, 0.55), QColor::fromRgbF(0.48f, 0.51f, 0.55f));
}

double luminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The contrast ratio of two opaque colours, as readability guidelines measure it (1 to 21).
double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(ThemeTest, PaletteTextStaysReadableInBothAppearances)
{
    for (Appearance appearance : {Appearance::Light, Appearance::Dark}) {
        Theme theme;
        theme.setAppearance(appearance);
        const QPalette p = theme.palette();
        EXPECT_GT(contrast(p.color(QPalette::WindowText), p.color(QPalette::Window)), 7.0);
        EXPECT_GT(contrast(p.color(QPalette::Text), p.color(QPalette::Base)), 7.0);
        EXPECT_GT(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button)), 4.5);
        EXPECT_GT(contrast(p.color(QPalette::HighlightedText), p.color(QPalette::Highlight)), 3.0);
        // Palette colours are opaque: stock widgets do not blend them.
        EXPECT_EQ(p.color(QPalette::WindowText).alpha(), 255);
        EXPECT_EQ(p.color(QPalette::PlaceholderText).alpha(), 255);
    }
}

// Prominent and bordered buttons, enabled or not, drawn by the application's style sheet in a
// window of either appearance: the text's colour against the button's own fill.
TEST(ControlStylesTest, ButtonTextStaysReadableWhenDisabled)
{
    struct Role {
        const char* name;
        std::function<QPushButton*(QWidget*)> make;
    };
    const Role roles[] = {
        {"prominent", [](QWidget* parent) { return prominentButton(QStringLiteral("Export Photo Book PDF…"), parent); }},
        {"bordered", [](QWidget* parent) { return borderedButton(QStringLiteral("Paste at End"), QString(), parent); }},
    };
    for (const Role& role : roles) {
        for (Appearance appearance : {Appearance::Light, Appearance::Dark}) {
            for (const bool enabled : {true, false}) {
                Theme theme;
                theme.setAppearance(appearance);
                QWidget window;
                window.setPalette(theme.palette());
                window.setAutoFillBackground(true);
                window.setStyleSheet(applicationStyleSheet(theme));
                auto* column = new QVBoxLayout(&window);
                QPushButton* button = role.make(&window);
                column->addWidget(button);
                button->setEnabled(enabled);
                window.resize(320, 60);
                window.ensurePolished();
                column->activate();
                const QImage shot = window.grab(button->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
                const QColor fill = shot.pixelColor(6, shot.height() / 2);
                double best = 1.0;
                for (int y = shot.height() / 4; y < shot.height() * 3 / 4; ++y) {
                    for (int x = shot.width() / 4; x < shot.width() * 3 / 4; ++x)
                        best = std::max(best, contrast(shot.pixelColor(x, y), fill));
                }
                EXPECT_GE(best, 3.0) << role.name << (appearance == Appearance::Dark ? ", dark" : ", light")
                                     << (enabled ? ", enabled" : ", disabled");
            }
        }
    }
}

TEST(IconMapTest, EveryMappedSymbolHasAGlyphInTheFont)
{
    ASSERT_TRUE(IconMap::ensureFontLoaded()) << "fonts-material-design-icons-iconfont is not installed";
    const QString path = QStringLiteral(
        "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf");
    QRawFont raw(path, 24);
    ASSERT_TRUE(raw.isValid());
    for (const QString& symbol : IconMap::knownSymbols()) {
        const auto cp = IconMap::codepoint(symbol);
        ASSERT_TRUE(cp.has_value()) << symbol.toStdString();
        EXPECT_TRUE(raw.supportsCharacter(uint(*cp))) << symbol.toStdString();
    }
}

TEST(IconMapTest, CodepointsAgreeWithThePackagedCodepointList)
{
    QFile list(QStringLiteral("/usr/share/fonts-material-design-icons-iconfont/scss/_variables.scss"));
    if (!list.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "the icon font package ships no codepoint list here";
    const QString text = QString::fromUtf8(list.readAll());
    for (const QString& symbol : IconMap::knownSymbols()) {
        const QString material = *IconMap::materialName(symbol);
        const QRegularExpression entry(QStringLiteral("\"%1\": ([0-9a-f]+),").arg(QRegularExpression::escape(material)));
        const auto match = entry.match(text);
        ASSERT_TRUE(match.hasMatch()) << material.toStdString();
        EXPECT_EQ(uint(*IconMap::codepoint(symbol)), match.captured(1).toUInt(nullptr, 16)) << symbol.toStdString();
    }
}

TEST(IconMapTest, UnknownSymbolDrawsTheFallbackGlyph)
{
    EXPECT_FALSE(IconMap::codepoint(QStringLiteral("no.such.symbol")).has_value());
    EXPECT_EQ(IconMap::glyph(QStringLiteral("no.such.symbol")).size(), 1);
    EXPECT_NE(IconMap::glyph(QStringLiteral("no.such.symbol")), IconMap::glyph(QStringLiteral("pin.fill")));

    // A drawn symbol puts ink on the pixmap.
    const QImage image = IconMap::pixmap(QStringLiteral("pin.fill"), Qt::black, 32).toImage();
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qAlpha(image.pixel(x, y)) > 128;
    EXPECT_GT(inked, 30);
}

TEST(SpringTest, CriticalDampingNeverOvershootsAndSettles)
{
    const Spring spring = Spring::fromResponse(0.35, 1.0);
    EXPECT_NEAR(spring.dampingFraction(), 1.0, 1e-9);
    double previous = 0.0;
    for (double t = 0.0; t < 2.0; t += 0.01) {
        const double v = spring.value(t);
        EXPECT_LE(v, 1.0 + 1e-9);
        EXPECT_GE(v, previous - 1e-12);
        previous = v;
    }
    const double settle = spring.settlingDuration();
    EXPECT_NEAR(spring.value(settle), 1.0, 0.001);
    EXPECT_GT(settle, 0.2);
    EXPECT_LT(settle, 2.0);
}

TEST(SpringTest, UnderdampedOvershootsOverdampedCreeps)
{
    const Spring bouncy = Spring::fromResponse(0.3, 0.5);
    double peak = 0.0;
    for (double t = 0.0; t < 2.0; t += 0.005)
        peak = std::max(peak, bouncy.value(t));
    EXPECT_GT(peak, 1.1);

    const Spring slow = Spring::fromPhysical(1.0, 100.0, 40.0); // damping fraction 2
    EXPECT_NEAR(slow.dampingFraction(), 2.0, 1e-9);
    EXPECT_LT(slow.value(0.3), Spring::fromResponse(2 * M_PI / 10.0, 1.0).value(0.3));
    EXPECT_NEAR(slow.value(6.0), 1.0, 0.001);
    // An initial velocity is honoured: the motion starts moving at once.
    EXPECT_NEAR(bouncy.velocity(0.0, 3.0), 3.0, 1e-9);
}

TEST(SpringTest, AnimatorEndsExactlyOnTarget)
{
    SpringAnimator animator(Spring::fromResponse(0.05, 0.8));
    animator.animate(0.0, 10.0);
    EXPECT_GT(animator.duration(), 0);
    // The test moves the animation's time itself instead of waiting for the animation timer.
    animator.setCurrentTime(animator.duration());
    EXPECT_EQ(animator.state(), QAbstractAnimation::Stopped);
    EXPECT_DOUBLE_EQ(animator.currentValue().toDouble(), 10.0);

    // Retargeting mid-flight starts from where it is.
    animator.animate(QPointF(0, 0), QPointF(100, 50));
    animator.setCurrentTime(20);
    animator.animateTo(QPointF(0, 0));
    animator.setCurrentTime(animator.duration());
    EXPECT_EQ(animator.state(), QAbstractAnimation::Stopped);
    EXPECT_EQ(animator.currentValue().toPointF(), QPointF(0, 0));
}

TEST(PaintingTest, RoundedRectStaysInsideItsRectAndClampsTheRadius)
{
    const QRectF rect(10, 20, 200, 40);
    const QPainterPath path = Painting::roundedRect(rect, 50); // radius larger than half the height
    EXPECT_TRUE(rect.adjusted(-0.01, -0.01, 0.01, 0.01).contains(path.boundingRect()));
    EXPECT_TRUE(path.contains(rect.center()));
    EXPECT_FALSE(path.contains(rect.topLeft() + QPointF(1, 1)));
    EXPECT_TRUE(path.contains(QPointF(rect.center().x(), rect.top() + 0.5)));
    EXPECT_TRUE(Painting::roundedRect(QRectF(0, 0, 0, 10), 4).isEmpty());
}

TEST(SpringTest, RetargetingMidFlightContinuesFromWhereItIs)
{
    SpringAnimator animator(Spring::fromResponse(0.4, 0.8));
    animator.animate(0.0, 100.0);
    animator.setCurrentTime(80);
    const double before = animator.currentValue().toDouble();
    ASSERT_GT(before, 1.0);
    ASSERT_LT(before, 100.0);
    QList<double> values;
    QObject::connect(&animator, &QVariantAnimation::valueChanged, [&](const QVariant& v) { values << v.toDouble(); });
    animator.animateTo(0.0);
    animator.setCurrentTime(16);
    ASSERT_FALSE(values.isEmpty());
    // No jump back to a start of its own: the new leg begins at the old position (the carried
    // velocity may still push it on a little before it turns).
    EXPECT_NEAR(values.first(), before, 10.0);
    animator.setCurrentTime(animator.duration());
    EXPECT_EQ(animator.state(), QAbstractAnimation::Stopped);
    EXPECT_DOUBLE_EQ(animator.currentValue().toDouble(), 0.0);
}

TEST(PaintingTest, DashesAreMeasuredInPoints)
{
    // A 2-point line dashed 8 on, 8 off: runs of about 8 pixels, not 16 (Qt counts dashes in
    // line widths; the design counts them in points).
    QImage canvas(200, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        QPainterPath line;
        line.moveTo(0, 10);
        line.lineTo(200, 10);
        Painting::strokeDashed(p, line, Qt::black, 2, {8, 8});
    }
    QList<int> runs;
    int run = 0;
    bool inked = false;
    for (int x = 0; x < canvas.width(); ++x) {
        const bool on = qAlpha(canvas.pixel(x, 10)) > 128;
        if (on == inked) {
            ++run;
        } else {
            if (x > 0)
                runs << run;
            run = 1;
            inked = on;
        }
    }
    ASSERT_GE(runs.size(), 10);
    for (int i = 1; i < runs.size(); ++i)
        EXPECT_NEAR(runs[i], 8, 1) << "run " << i;
}

TEST(PaintingTest, SoftShadowSpreadsBeyondTheShape)
{
    QImage canvas(120, 120, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        Painting::drawSoftShadow(p, Painting::roundedRect(QRectF(40, 40, 40, 40), 8), Qt::black, 8, {0, 4});
    }
    EXPECT_GT(qAlpha(canvas.pixel(60, 64)), 200);   // under the shape
    EXPECT_GT(qAlpha(canvas.pixel(60, 88)), 0);     // blurred past its lower edge
    EXPECT_EQ(qAlpha(canvas.pixel(2, 2)), 0);       // far away stays clear
}

TEST(PaintingTest, CorneredPiecesPaintWhatTheShapeItselfPaints)
{
    // A filled, outlined rounded box painted itself and from cached pieces, at sizes drawn in
    // pieces both ways or one way and at sizes kept whole, on whole and doubled pixels, at an
    // offset.
    const auto box = [](QPainter& p, const QRectF& rect) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = Painting::roundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 12);
        p.fillPath(shape, QColor(20, 40, 200, 30));
        Painting::stroke(p, shape, QColor(200, 30, 30, 90), 1);
    };
    const int corner = Painting::roundedRectCorner(12, 0.5, 1);
    struct Case {
        QSize size;
        int scale;
    };
    for (const Case& c : {Case{{300, 420}, 1}, Case{{300, 420}, 2}, Case{{2000, 40}, 1}, Case{{40, 1800}, 2},
             Case{{300, 30}, 1}, Case{{30, 200}, 2}, Case{{40, 40}, 1}}) {
        const QRect rect(QPoint(3, 5), c.size);
        QImage whole((c.size + QSize(8, 8)) * c.scale, QImage::Format_ARGB32_Premultiplied);
        whole.setDevicePixelRatio(c.scale);
        whole.fill(Qt::white);
        QImage pieces = whole;
        {
            QPainter p(&whole);
            box(p, QRectF(rect));
        }
        {
            QPainter p(&pieces);
            Painting::drawCornered(p, rect, corner, QColor(20, 40, 200, 30), QStringLiteral("test-box"), box);
        }
        int worst = 0;
        for (int y = 0; y < whole.height(); ++y) {
            for (int x = 0; x < whole.width(); ++x) {
                const QRgb a = whole.pixel(x, y);
                const QRgb b = pieces.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                    std::abs(qBlue(a) - qBlue(b))});
            }
        }
        // Rounding aside: a curve is flattened a hair differently far from the origin.
        EXPECT_LE(worst, 2) << c.size.width() << "x" << c.size.height() << " at " << c.scale;
    }
}

TEST(PaintingTest, CachedShapesPaintAsTheShapeAtEachOffsetWithinAPixel)
{
    // One key for all: a tile placed at another offset within a pixel, or at another scale, is
    // rendered for that placement, and the stroke that reaches past the rect is kept.
    const auto tile = [](QPainter& p, const QRectF& rect) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = Painting::roundedRect(rect, 7);
        p.fillPath(shape, QColor(20, 40, 200, 40));
        Painting::stroke(p, shape, QColor(200, 30, 30, 120), 0.8);
    };
    struct Case {
        QPointF at;
        QSizeF size;
        int scale;
    };
    for (const Case& c : {Case{{8, 7.5}, {24, 24}, 1}, Case{{8, 7}, {24, 24}, 1}, Case{{8.25, 3.75}, {25, 25}, 1},
             Case{{8, 7.5}, {24, 24}, 2}, Case{{0, 0}, {30, 30}, 1}}) {
        QImage direct(QSize(48, 48) * c.scale, QImage::Format_ARGB32_Premultiplied);
        direct.setDevicePixelRatio(c.scale);
        direct.fill(Qt::white);
        QImage cached = direct;
        const QRectF rect(c.at, c.size);
        {
            QPainter p(&direct);
            tile(p, rect);
        }
        {
            QPainter p(&cached);
            Painting::drawCached(p, rect, QStringLiteral("test-tile"), tile);
        }
        int worst = 0;
        for (int y = 0; y < direct.height(); ++y) {
            for (int x = 0; x < direct.width(); ++x) {
                const QRgb a = direct.pixel(x, y);
                const QRgb b = cached.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                    std::abs(qBlue(a) - qBlue(b))});
            }
        }
        EXPECT_LE(worst, 2) << c.at.x() << "," << c.at.y() << " " << c.size.width() << " at " << c.scale;
    }
}

TEST(PaintingTest, APictureDrawnInRowBandsIsThePictureDrawnWhole)
{
    // A tall picture with detail in every row, drawn resampled through a scale about a point that
    // falls between pixels, as a card between two poses is; and merely moved.
    QImage picture(180, 260, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba((x * 7) % 256, (y * 5) % 256, (x * y) % 256, 255));
    }
    struct Case {
        qreal scale;
        int ratio;
        bool smooth;
    };
    for (const Case& c : {Case{1.017, 1, true}, Case{0.994, 2, true}, Case{1.04, 1, false}, Case{1.0, 1, false}}) {
        QPixmap pixmap = QPixmap::fromImage(picture);
        pixmap.setDevicePixelRatio(c.ratio);
        QImage whole(QSize(220, 300) * c.ratio, QImage::Format_ARGB32_Premultiplied);
        whole.setDevicePixelRatio(c.ratio);
        whole.fill(Qt::white);
        QImage banded = whole;
        const auto pose = [&](QPainter& p) {
            p.setRenderHint(QPainter::SmoothPixmapTransform, c.smooth);
            p.translate(100.3, 140.6);
            p.scale(c.scale, c.scale);
            p.setOpacity(0.8);
        };
        const QPointF at(-85.5, -120.25);
        {
            QPainter p(&whole);
            pose(p);
            p.drawPixmap(at, pixmap);
        }
        {
            QPainter p(&banded);
            pose(p);
            Painting::drawInRowBands(p, QRectF(at, pixmap.deviceIndependentSize()),
                                     [&](QPainter& inner) { inner.drawPixmap(at, pixmap); });
        }
        EXPECT_EQ(whole, banded) << c.scale << " at " << c.ratio;
    }
}

// A see-through fill in bands must blend each row once: bands that overlapped, or met between
// device pixels, would show as darker seams.
TEST(PaintingTest, AFillInRowBandsIsTheWholeFill)
{
    struct Case {
        int ratio;
        QPointF offset;
    };
    const QRect box(3, 5, 150, 301);
    for (const Case& c : {Case{1, {0, 0}}, Case{2, {4, 7}}, Case{1, {0.5, 0.25}}, Case{2, {0, 0.5}}}) {
        QImage whole(QSize(160, 320) * c.ratio, QImage::Format_ARGB32_Premultiplied);
        whole.setDevicePixelRatio(c.ratio);
        whole.fill(Qt::white);
        QImage banded = whole;
        const QColor colour(20, 40, 200, 9);
        {
            QPainter p(&whole);
            p.translate(c.offset);
            p.fillRect(box, colour);
        }
        {
            QPainter p(&banded);
            p.translate(c.offset);
            Painting::fillInRowBands(p, box, colour);
        }
        EXPECT_EQ(whole, banded) << c.ratio << " at " << c.offset.x() << "," << c.offset.y();
    }
}

TEST(PaintingTest, BlurSpreadsEvenlyOnImagesWiderThanTall)
{
    // A wide image: the vertical passes walk columns, where a wrong row stride would smear the
    // dot sideways or into other rows.
    QImage image(61, 23, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setPixel(30, 11, qRgba(255, 255, 255, 255));
    image.setPixel(29, 11, qRgba(255, 255, 255, 255));
    image.setPixel(31, 11, qRgba(255, 255, 255, 255));
    Painting::blurImage(image, 4);
    for (int d = 1; d <= 6; ++d) {
        EXPECT_EQ(image.pixel(30 - d, 11), image.pixel(30 + d, 11)) << "across, " << d;
        EXPECT_EQ(image.pixel(30, 11 - d), image.pixel(30, 11 + d)) << "down, " << d;
    }
    EXPECT_GT(qAlpha(image.pixel(30, 11)), qAlpha(image.pixel(30, 14)));
    EXPECT_GT(qAlpha(image.pixel(30, 14)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(60, 22)), 0);
}

} // namespace
} // namespace vesk
