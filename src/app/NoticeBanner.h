#pragma once
// A floating notice: a symbol, a semibold title and an optional one-line detail on an ultra-thin
// material with a soft shadow. The intake and Bring Back notices are drawn with it; the window
// places them.

#include "model/VeskNotices.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <optional>

namespace vesk {

struct NoticeBannerLook {
    QString symbol;
    QColor symbolColor;
    // The outline colour depends on the appearance, so it is chosen at paint time.
    enum class Outline { Primary, Accent } outline = Outline::Primary;
    qreal outlineOpacity = 0.08;
};

class NoticeBanner : public QWidget {
    Q_OBJECT
public:
    NoticeBanner(const NoticeBannerLook& look, const QString& title, const std::optional<QString>& detail,
                 QWidget* parent = nullptr);

    QString title() const { return m_title; }
    // Empty when the notice has no detail or an empty one: the banner then shows the title only.
    QString detail() const { return m_detail; }

    QSize sizeHint() const override;

    // Room around the banner's rounded shape for its shadow; the window offsets banners by it.
    static constexpr int shadowMargin = 16;
    static constexpr int maximumTextWidth = 300;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF bannerRect() const;

    NoticeBannerLook m_look;
    QString m_title;
    QString m_detail;
};

// The floating view of one Bring Back notice.
class VeskBringBackNoticeView : public NoticeBanner {
    Q_OBJECT
public:
    explicit VeskBringBackNoticeView(const VeskBringBackNotice& notice, QWidget* parent = nullptr);
    const VeskBringBackNotice& notice() const { return m_notice; }
    static QString symbolFor(VeskBringBackNoticeKind kind);

private:
    VeskBringBackNotice m_notice;
};

} // namespace vesk
