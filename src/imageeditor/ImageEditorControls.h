#pragma once

#include "editor/EditPipeline.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace vesk {

// One labelled slider with its value readout and a Reset button.
class EditorSliderRow : public QWidget {
    Q_OBJECT
public:
    EditorSliderRow(const QString& name, double minimum, double maximum, double resetValue, QWidget* parent = nullptr);

    double value() const { return m_value; }
    // Moves the slider and the readout without emitting.
    void setValue(double value);
    QSlider* slider() const { return m_slider; }
    QPushButton* resetButton() const { return m_reset; }
    QLabel* readout() const { return m_readout; }

    static constexpr int kSteps = 1000;

signals:
    void valueEdited(double value);

private:
    void showValue();

    double m_minimum;
    double m_maximum;
    double m_resetValue;
    double m_value;
    QSlider* m_slider;
    QLabel* m_readout;
    QPushButton* m_reset;
};

// The editor's controls column: file sizes, orientation, crop, light and colour. It shows the
// settings it is given and reports each edit as a whole new set of settings.
class ImageEditorControls : public QWidget {
    Q_OBJECT
public:
    explicit ImageEditorControls(QWidget* parent = nullptr);

    void setSettings(const EditSettings& settings);
    void setFileSizes(const QString& original, const QString& edited);

    QPushButton* leftButton() const { return m_left; }
    QPushButton* rightButton() const { return m_right; }
    QCheckBox* flipToggle() const { return m_flip; }
    QPushButton* resetCropButton() const { return m_resetCrop; }
    QPushButton* resetAllButton() const { return m_resetAll; }
    EditorSliderRow* brightnessRow() const { return m_brightness; }
    EditorSliderRow* contrastRow() const { return m_contrast; }
    EditorSliderRow* saturationRow() const { return m_saturation; }
    QLabel* originalSize() const { return m_originalSize; }
    QLabel* editedSize() const { return m_editedSize; }

signals:
    void settingsEdited(const vesk::EditSettings& settings);

private:
    void edit(const std::function<void(EditSettings&)>& change);

    EditSettings m_settings;
    QLabel* m_originalSize;
    QLabel* m_editedSize;
    QPushButton* m_left;
    QPushButton* m_right;
    QCheckBox* m_flip;
    QPushButton* m_resetCrop;
    EditorSliderRow* m_brightness;
    EditorSliderRow* m_contrast;
    EditorSliderRow* m_saturation;
    QPushButton* m_resetAll;
};

} // namespace vesk
