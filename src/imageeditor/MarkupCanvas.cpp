#include "imageeditor/MarkupCanvas.h"

#include "editor/EditPipeline.h"
#include "editor/MarkupPainting.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <cmath>

namespace vesk {

namespace {

constexpr double kPadding = 28;
constexpr double kTextFieldWidth = 240;
constexpr double kHandleDiameter = 12;
// A text drag area waits for this much movement before it moves the text.
constexpr double kTextDragMinimumDistance = 1;

void drawSelectionOutline(QPainter& painter, const VeskMarkupElement& element, QSizeF imageSize)
{
    const QRectF frame = selectionOverlayFrame(element, imageSize).adjusted(-7, -7, 7, 7);
    Painting::strokeDashed(painter, Painting::roundedRect(frame, 6), Theme::current().accent(), 1.5, {5, 4});
}

} // namespace

MarkupCanvas::MarkupCanvas(MarkupEditorState& state, const QImage& image, QWidget* parent)
    : QWidget(parent), m_state(state), m_image(image), m_pixmap(QPixmap::fromImage(image)), m_textField(new QLineEdit(this))
{
    setObjectName(QStringLiteral("markupCanvas"));
    setMinimumSize(300, 300);
    setFocusPolicy(Qt::ClickFocus);

    m_textField->setObjectName(QStringLiteral("markupInlineText"));
    m_textField->setPlaceholderText(QStringLiteral("Type here"));
    m_textField->setFrame(false);
    m_textField->installEventFilter(this);
    m_textField->hide();
    connect(m_textField, &QLineEdit::textEdited, this, [this](const QString& text) { m_state.textDraft = text; });
    connect(m_textField, &QLineEdit::returnPressed, this, [this] {
        m_state.textDraft = m_textField->text();
        m_state.commitInlineText();
        changed();
    });
}

QRectF MarkupCanvas::imageRect() const
{
    return aspectFitRect(m_image.width(), m_image.height(), width(), height(), kPadding);
}

void MarkupCanvas::paintSelectionOverlay(QPainter& painter, const VeskMarkupElement& element, QSizeF imageSize) const
{
    const Theme& theme = Theme::current();
    QPainterPath outline;
    outline.addRect(selectionOverlayFrame(element, imageSize));
    Painting::strokeDashed(painter, outline, theme.accent(0.95), 1.25, {5, 4});
    for (const PlacedHandle& handle : resizeHandles(element, imageSize)) {
        QPainterPath knob;
        knob.addEllipse(handle.position, kHandleDiameter / 2, kHandleDiameter / 2);
        Painting::drawSoftShadow(painter, knob, Theme::black(0.33), 1);
        painter.setPen(QPen(theme.accent(), 2));
        painter.setBrush(Theme::white());
        painter.drawPath(knob);
    }
}

void MarkupCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::current().underPageBackground());
    const QRectF image = imageRect();
    if (image.isEmpty())
        return;
    const QPixmap& picture = scaledPixmap(image.size(), painter.device()->devicePixelRatioF());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(image, picture, QRectF(picture.rect()));
    // The element under a move or reshape is drawn live between the layers below and above it.
    const QList<VeskMarkupElement>& elements = m_state.elements;
    qsizetype dragged = elements.size();
    const std::optional<VeskMarkupElement>& moving =
        m_state.resizeStartElement ? m_state.resizeStartElement : m_state.moveStartElement;
    for (qsizetype i = 0; moving && i < elements.size(); ++i) {
        if (elements[i].id == moving->id) {
            dragged = i;
            break;
        }
    }
    const qreal ratio = painter.device()->devicePixelRatioF();
    updateLayer(m_below, elements.mid(0, dragged), image.size(), ratio);
    updateLayer(m_above, dragged < elements.size() ? elements.mid(dragged + 1) : QList<VeskMarkupElement>(), image.size(),
                ratio);
    if (!m_below.image.isNull())
        painter.drawImage(image, m_below.image);
    painter.setRenderHint(QPainter::Antialiasing);
    const MarkupMetrics metrics = MarkupMetrics::onCanvas();
    if (dragged < elements.size()) {
        painter.save();
        painter.translate(image.topLeft());
        drawMarkupElement(painter, elements[dragged], image.size(), metrics);
        painter.restore();
    }
    if (!m_above.image.isNull())
        painter.drawImage(image, m_above.image);
    painter.translate(image.topLeft());
    if (const std::optional<VeskMarkupElement> preview = m_state.activePreviewElement())
        drawMarkupElement(painter, *preview, image.size(), metrics);
    if (const std::optional<VeskMarkupElement> selected = m_state.selectedElement())
        drawSelectionOutline(painter, *selected, image.size());
    if (const std::optional<VeskMarkupElement> selected = m_state.selectedElement())
        paintSelectionOverlay(painter, *selected, image.size());
}

const QPixmap& MarkupCanvas::scaledPixmap(QSizeF size, qreal devicePixelRatio)
{
    // Every drag step repaints the canvas; scaling the picture down each time would cost more
    // than all the markup together.
    const QSize pixels = (size * devicePixelRatio).toSize();
    if (m_scaledPixmap.size() != pixels && !m_pixmap.isNull())
        m_scaledPixmap = m_pixmap.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return m_scaledPixmap;
}

void MarkupCanvas::updateLayer(Layer& layer, const QList<VeskMarkupElement>& wanted, QSizeF size, qreal devicePixelRatio)
{
    const QSize pixels = (size * devicePixelRatio).toSize();
    if (wanted.isEmpty() || pixels.isEmpty()) {
        layer = Layer{};
        return;
    }
    const bool extends = layer.image.size() == pixels && layer.elements.size() <= wanted.size()
        && std::equal(layer.elements.cbegin(), layer.elements.cend(), wanted.cbegin());
    qsizetype first = layer.elements.size();
    if (!extends) {
        layer.image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        layer.image.setDevicePixelRatio(devicePixelRatio);
        layer.image.fill(Qt::transparent);
        first = 0;
    }
    if (first == wanted.size())
        return;
    QPainter painter(&layer.image);
    painter.setRenderHint(QPainter::Antialiasing);
    const MarkupMetrics metrics = MarkupMetrics::onCanvas();
    for (qsizetype i = first; i < wanted.size(); ++i)
        drawMarkupElement(painter, wanted[i], size, metrics);
    layer.elements = wanted;
}

void MarkupCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QRectF image = imageRect();
    m_pressPosition = event->position();
    m_textDragStarted = false;
    if (const std::optional<VeskMarkupElement> selected = m_state.selectedElement()) {
        if (const std::optional<SelectionTarget> target =
                selectionTargetAt(*selected, event->position() - image.topLeft(), image.size())) {
            m_gesture = target->kind == SelectionTarget::Kind::Handle ? Gesture::Handle : Gesture::TextDrag;
            m_handle = target->handle;
            m_gestureElementID = selected->id;
            if (m_gesture == Gesture::Handle)
                m_state.resizeElement(m_gestureElementID, m_handle, QPointF(), image);
            changed();
            return;
        }
    }
    m_gesture = Gesture::Canvas;
    m_state.handleDragChanged(event->position(), QPointF(), image);
    changed();
}

void MarkupCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_gesture)
        return;
    const QRectF image = imageRect();
    const QPointF translation = event->position() - m_pressPosition;
    switch (*m_gesture) {
    case Gesture::Canvas:
        m_state.handleDragChanged(event->position(), translation, image);
        break;
    case Gesture::Handle:
        m_state.resizeElement(m_gestureElementID, m_handle, translation, image);
        break;
    case Gesture::TextDrag:
        if (!m_textDragStarted && std::hypot(translation.x(), translation.y()) < kTextDragMinimumDistance)
            return;
        m_textDragStarted = true;
        m_state.moveElement(m_gestureElementID, translation, image);
        break;
    }
    changed();
}

void MarkupCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_gesture || event->button() != Qt::LeftButton)
        return;
    const Gesture gesture = *m_gesture;
    m_gesture.reset();
    switch (gesture) {
    case Gesture::Canvas:
        m_state.handleDragEnded(event->position(), imageRect());
        break;
    case Gesture::Handle:
        m_state.endResize();
        break;
    case Gesture::TextDrag:
        m_state.endMove();
        break;
    }
    changed();
}

void MarkupCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeTextField();
}

bool MarkupCanvas::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QRectF image = imageRect();
        std::optional<SelectionTarget> target;
        if (const std::optional<VeskMarkupElement> selected = m_state.selectedElement())
            target = selectionTargetAt(*selected, QPointF(help->pos()) - image.topLeft(), image.size());
        if (target) {
            QToolTip::showText(help->globalPos(), target->kind == SelectionTarget::Kind::Handle
                                                      ? QStringLiteral("Drag to reshape")
                                                      : QStringLiteral("Drag text to reposition"), this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

bool MarkupCanvas::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_textField && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_state.cancelInlineText();
        changed();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MarkupCanvas::placeTextField()
{
    const bool open = m_state.inlineTextEditing && m_state.pendingTextPoint;
    if (!open) {
        if (m_textField->isVisible()) {
            m_textField->hide();
            setFocus();
        }
        return;
    }
    const Theme& theme = Theme::current();
    // The text is typed in the very face and size it is drawn in once committed. A style sheet
    // decides a widget's font when it is polished, so the face is named in it too.
    const QFont font = markupTextFont(MarkupMetrics::onCanvas().textSize(m_state.strokeWidth));
    m_textField->setStyleSheet(QStringLiteral("QLineEdit { color: %1; background: %2; border: 1.5px solid %3;"
                                              " border-radius: 5px; padding: 6px 8px; font-family: \"%4\";"
                                              " font-size: %5px; font-weight: %6; }")
                                   .arg(m_state.strokeColor.name(QColor::HexArgb),
                                        Theme::withOpacity(theme.colors().textBackground, 0.94).name(QColor::HexArgb),
                                        theme.accent().name(QColor::HexArgb), font.family())
                                   .arg(font.pixelSize())
                                   .arg(font.weight() >= QFont::DemiBold ? 600 : 400));
    m_textField->setFont(font);
    if (m_textField->text() != m_state.textDraft)
        m_textField->setText(m_state.textDraft);
    const QRectF image = imageRect();
    const QPointF centre = image.topLeft() + inlineTextCentre(*m_state.pendingTextPoint, image.size());
    const int height = QFontMetrics(font).height() + 14;
    m_textField->setGeometry(QRectF(centre.x() - kTextFieldWidth / 2, centre.y() - height / 2.0, kTextFieldWidth, height)
                                 .toRect());
    if (!m_textField->isVisible()) {
        m_textField->show();
        // The field takes the keyboard on the next turn of the event loop, once it is shown.
        QTimer::singleShot(0, m_textField, [field = QPointer<QLineEdit>(m_textField)] {
            if (field && field->isVisible())
                field->setFocus();
        });
    }
    m_textField->raise();
}

void MarkupCanvas::refresh()
{
    placeTextField();
    update();
}

void MarkupCanvas::changed()
{
    refresh();
    emit stateChanged();
}

} // namespace vesk
