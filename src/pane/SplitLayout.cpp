#include "pane/SplitLayout.h"

#include "platform/Settings.h"
#include "platform/ui/Theme.h"
#include "pane/SearchBackdrop.h"
#include "pane/SplitLayoutWidth.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

namespace vesk {

PreviewResizeHandle::PreviewResizeHandle(QWidget* parent)
    : QWidget(parent)
{
    setCursor(Qt::SizeHorCursor);
    setToolTip(QStringLiteral("Drag to resize the preview panel"));
    setFixedWidth(int(PreviewPaneWidth::kHandleWidth));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QSize PreviewResizeHandle::sizeHint() const
{
    return {int(PreviewPaneWidth::kHandleWidth), 100};
}

void PreviewResizeHandle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const double x = width() / 2.0 - 0.5;
    const QColor line = Theme::current().primary(0.14);
    // A band of rows at a time: a see-through fill the height of the window is otherwise split
    // over the raster engine's global pool and waited for, at every repaint of the split.
    constexpr int kBand = 32;
    for (int y = 0; y < height(); y += kBand)
        painter.fillRect(QRectF(x, y, 1, std::min(kBand, height() - y)), line);
}

void PreviewResizeHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_startX = event->globalPosition().x();
    emit dragMoved(0);
}

void PreviewResizeHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        emit dragMoved(event->globalPosition().x() - m_startX);
}

void PreviewResizeHandle::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_dragging = false;
    emit dragEnded(event->globalPosition().x() - m_startX);
}

SplitLayout::SplitLayout(std::shared_ptr<Settings> settings, QWidget* libraryColumn, QWidget* previewColumn,
    QWidget* parent)
    : QWidget(parent)
    , m_settings(std::move(settings))
    , m_library(libraryColumn)
    , m_preview(previewColumn)
    , m_handle(new PreviewResizeHandle(this))
    , m_fade(new QVariantAnimation(this))
    , m_glow(new QVariantAnimation(this))
{
    m_storedWidth = m_settings
        ? PreviewPaneWidth::fromSetting(m_settings->value(QLatin1String(PreviewPaneWidth::kSettingKey)))
        : PreviewPaneWidth::kDefault;
    if (m_library)
        m_library->setParent(this);
    if (m_preview)
        m_preview->setParent(this);
    setMinimumWidth(int(PreviewPaneWidth::kLibraryMinimum + PreviewPaneWidth::kHandleWidth + PreviewPaneWidth::kMinimum));

    connect(m_handle, &PreviewResizeHandle::dragMoved, this, &SplitLayout::updateDrag);
    connect(m_handle, &PreviewResizeHandle::dragEnded, this, &SplitLayout::commitDrag);

    m_prepareBackdrop = new QTimer(this);
    m_prepareBackdrop->setSingleShot(true);
    m_prepareBackdrop->setInterval(500);
    connect(m_prepareBackdrop, &QTimer::timeout, this, [this] { m_backdrop.prepare(size(), devicePixelRatioF()); });

    m_fade->setDuration(200);
    // Each repaint of the backdrop repaints the cards and the pane over it: only a step that
    // shows, and for the glow only its corner.
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const bool same = SearchBackdrop::sameOpacity(value.toDouble(), m_backdropOpacity);
        m_backdropOpacity = value.toDouble();
        if (!same)
            update();
    });
    m_glow->setDuration(420);
    m_glow->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_glow, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const bool same = SearchBackdrop::sameGlow(value.toDouble(), m_glowOpacity, Theme::current());
        m_glowOpacity = value.toDouble();
        if (!same && m_backdropOpacity > 0)
            update(SearchBackdrop::glowSquare(size()));
    });
}

double SplitLayout::previewWidth() const
{
    return PreviewPaneWidth::effective(m_storedWidth, m_dragTranslation);
}

void SplitLayout::updateDrag(double translation)
{
    m_dragTranslation = translation;
    layoutColumns();
}

void SplitLayout::commitDrag(double translation)
{
    m_storedWidth = PreviewPaneWidth::committed(m_storedWidth, translation);
    m_dragTranslation = 0;
    if (m_settings)
        m_settings->setValue(QLatin1String(PreviewPaneWidth::kSettingKey), m_storedWidth);
    layoutColumns();
}

void SplitLayout::setSearching(bool searching)
{
    if (searching == m_searching)
        return;
    m_searching = searching;
    m_fade->stop();
    m_fade->setStartValue(m_backdropOpacity);
    m_fade->setEndValue(searching ? 1.0 : 0.0);
    m_fade->start();
}

void SplitLayout::setSurfacePulse(bool pulse)
{
    if (pulse == m_pulse)
        return;
    m_pulse = pulse;
    m_glow->stop();
    m_glow->setStartValue(m_glowOpacity);
    m_glow->setEndValue(pulse ? 0.07 : 0.035);
    m_glow->start();
}

void SplitLayout::resizeEvent(QResizeEvent*)
{
    layoutColumns();
    m_prepareBackdrop->start();
}

void SplitLayout::layoutColumns()
{
    const int preview = int(std::lround(PreviewPaneWidth::shown(previewWidth(), width())));
    const int handle = int(PreviewPaneWidth::kHandleWidth);
    const int library = std::max(0, width() - preview - handle);
    if (m_library)
        m_library->setGeometry(0, 0, library, height());
    m_handle->setGeometry(library, 0, handle, height());
    if (m_preview)
        m_preview->setGeometry(library + handle, 0, preview, height());
}

void SplitLayout::paintEvent(QPaintEvent* event)
{
    if (m_backdropOpacity <= 0)
        return;
    QPainter painter(this);
    m_backdrop.paint(painter, event->region(), size(), m_backdropOpacity, m_glowOpacity);
}

} // namespace vesk
