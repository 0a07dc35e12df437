#include "imageeditor/ImageEditorControls.h"

#include "imageeditor/EditorWidgets.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace vesk {

EditorSliderRow::EditorSliderRow(const QString& name, double minimum, double maximum, double resetValue, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_resetValue(resetValue), m_value(resetValue)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* top = new QHBoxLayout;
    top->addWidget(styledLabel(name, TextStyle::Caption, this, false, QFont::DemiBold));
    top->addStretch(1);
    m_readout = styledLabel(QString(), TextStyle::Caption, this, true);
    m_readout->setFont(Theme::monospacedDigitFont(Theme::pointSize(TextStyle::Caption)));
    top->addWidget(m_readout);
    column->addLayout(top);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, kSteps);
    column->addWidget(m_slider);
    connect(m_slider, &QSlider::valueChanged, this, [this](int step) {
        m_value = m_minimum + (m_maximum - m_minimum) * step / kSteps;
        showValue();
        emit valueEdited(m_value);
    });

    m_reset = new QPushButton(QStringLiteral("Reset"), this);
    m_reset->setFlat(true);
    m_reset->setAutoDefault(false);
    m_reset->setFont(Theme::font(TextStyle::Caption2));
    m_reset->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; padding: 0; text-align: left; }")
                               .arg(Theme::current().secondary().name(QColor::HexArgb)));
    column->addWidget(m_reset, 0, Qt::AlignLeft);
    connect(m_reset, &QPushButton::clicked, this, [this] {
        setValue(m_resetValue);
        emit valueEdited(m_value);
    });
    setValue(resetValue);
}

void EditorSliderRow::setValue(double value)
{
    m_value = value;
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(int(std::lround((value - m_minimum) / (m_maximum - m_minimum) * kSteps)));
    showValue();
}

void EditorSliderRow::showValue()
{
    m_readout->setText(QLocale().toString(m_value, 'f', 2));
}

ImageEditorControls::ImageEditorControls(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(20);

    // File sizes.
    QVBoxLayout* sizes = addSection(column, QStringLiteral("File Size"), this);
    const auto sizeRow = [this, sizes](const QString& label, QLabel*& value, const QString& name) {
        auto* row = new QHBoxLayout;
        row->addWidget(styledLabel(label, TextStyle::Caption, this, true));
        row->addStretch(1);
        value = new QLabel(QStringLiteral("—"), this);
        value->setObjectName(name);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(Theme::font(TextStyle::Body).pointSizeF());
        font.setWeight(QFont::DemiBold);
        value->setFont(font);
        row->addWidget(value);
        sizes->addLayout(row);
    };
    sizeRow(QStringLiteral("Original"), m_originalSize, QStringLiteral("originalFileSize"));
    sizeRow(QStringLiteral("Edited"), m_editedSize, QStringLiteral("editedFileSize"));

    // Orientation.
    QVBoxLayout* orientation = addSection(column, QStringLiteral("Orientation"), this);
    auto* turns = new QHBoxLayout;
    turns->setSpacing(8);
    m_left = borderedButton(QStringLiteral("Left"), QStringLiteral("rotate.left"), this);
    m_right = borderedButton(QStringLiteral("Right"), QStringLiteral("rotate.right"), this);
    turns->addWidget(m_left);
    turns->addWidget(m_right);
    turns->addStretch(1);
    orientation->addLayout(turns);
    m_flip = new QCheckBox(QStringLiteral("Flip Horizontally"), this);
    m_flip->setIcon(IconMap::icon(QStringLiteral("arrow.left.and.right.righttriangle.left.righttriangle.right"),
                                  Theme::current().label(), 14));
    orientation->addWidget(m_flip);
    connect(m_left, &QPushButton::clicked, this,
            [this] { edit([](EditSettings& s) { s.quarterTurns = normalizedQuarterTurns(s.quarterTurns - 1); }); });
    connect(m_right, &QPushButton::clicked, this,
            [this] { edit([](EditSettings& s) { s.quarterTurns = normalizedQuarterTurns(s.quarterTurns + 1); }); });
    connect(m_flip, &QCheckBox::toggled, this, [this](bool on) { edit([on](EditSettings& s) { s.flippedHorizontally = on; }); });

    // Crop.
    QVBoxLayout* crop = addSection(column, QStringLiteral("Crop"), this);
    auto* cropHelp = styledLabel(QStringLiteral("Use the four corners or four edge handles for complete crop control. "
                                                "Drag inside to reposition."),
                                 TextStyle::Caption, this, true);
    cropHelp->setWordWrap(true);
    crop->addWidget(cropHelp);
    m_resetCrop = borderedButton(QStringLiteral("Reset Crop"), QString(), this);
    m_resetCrop->setFont(Theme::font(TextStyle::Caption));
    crop->addWidget(m_resetCrop, 0, Qt::AlignLeft);
    connect(m_resetCrop, &QPushButton::clicked, this, [this] { edit([](EditSettings& s) { s.crop = {}; }); });

    // Light and colour.
    QVBoxLayout* light = addSection(column, QStringLiteral("Light"), this);
    m_brightness = new EditorSliderRow(QStringLiteral("Brightness"), -0.5, 0.5, 0, this);
    m_contrast = new EditorSliderRow(QStringLiteral("Contrast"), 0.5, 1.5, 1, this);
    light->addWidget(m_brightness);
    light->addWidget(m_contrast);
    QVBoxLayout* colour = addSection(column, QStringLiteral("Color"), this);
    m_saturation = new EditorSliderRow(QStringLiteral("Saturation"), 0, 2, 1, this);
    colour->addWidget(m_saturation);
    connect(m_brightness, &EditorSliderRow::valueEdited, this,
            [this](double v) { edit([v](EditSettings& s) { s.colour.brightness = v; }); });
    connect(m_contrast, &EditorSliderRow::valueEdited, this,
            [this](double v) { edit([v](EditSettings& s) { s.colour.contrast = v; }); });
    connect(m_saturation, &EditorSliderRow::valueEdited, this,
            [this](double v) { edit([v](EditSettings& s) { s.colour.saturation = v; }); });

    column->addWidget(horizontalDivider(this));
    m_resetAll = borderedButton(QStringLiteral("Reset All"), QStringLiteral("arrow.counterclockwise"), this);
    column->addWidget(m_resetAll, 0, Qt::AlignLeft);
    // Markup is its own list: Reset All leaves it on the picture.
    connect(m_resetAll, &QPushButton::clicked, this, [this] {
        edit([](EditSettings& s) {
            const QList<VeskMarkupElement> markup = s.markup;
            s = EditSettings{};
            s.markup = markup;
        });
    });
    auto* footnote = styledLabel(QStringLiteral("Edits apply only to the new derived version. The source Vesk and its "
                                                "original file remain unchanged."),
                                 TextStyle::Caption, this, true);
    footnote->setWordWrap(true);
    column->addWidget(footnote);
    column->addStretch(1);

    setSettings({});
}

void ImageEditorControls::edit(const std::function<void(EditSettings&)>& change)
{
    EditSettings updated = m_settings;
    change(updated);
    setSettings(updated);
    emit settingsEdited(updated);
}

void ImageEditorControls::setSettings(const EditSettings& settings)
{
    m_settings = settings;
    {
        const QSignalBlocker blocker(m_flip);
        m_flip->setChecked(settings.flippedHorizontally);
    }
    m_resetCrop->setEnabled(!settings.crop.isZero());
    if (m_brightness->value() != settings.colour.brightness)
        m_brightness->setValue(settings.colour.brightness);
    if (m_contrast->value() != settings.colour.contrast)
        m_contrast->setValue(settings.colour.contrast);
    if (m_saturation->value() != settings.colour.saturation)
        m_saturation->setValue(settings.colour.saturation);
}

void ImageEditorControls::setFileSizes(const QString& original, const QString& edited)
{
    m_originalSize->setText(original);
    m_editedSize->setText(edited);
}

} // namespace vesk
