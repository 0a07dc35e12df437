#pragma once

#include "editor/EditPipeline.h"
#include "model/VeskItem.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <optional>

class QPushButton;

namespace vesk {

class BusyIndicator;
class ImageEditSession;
class ImageEditorCanvas;
class ImageEditorControls;
class VeskMarkupEditor;

// The image editor sheet. It shows the edited picture with the crop frame over it, the
// orientation, crop and colour controls, and opens the markup sheet; it never changes the
// source. Save encodes the full-size picture and hands the bytes and their extension to
// `onSave`, which answers whether a new version was kept (at once or later, while the editor
// shows that it is saving); the editor closes only then.
class VeskImageEditor : public QDialog {
    Q_OBJECT
public:
    // (encoded bytes, extension without the dot, answer): answer(saved) is called once, on the
    // main thread, when the store knows; the editor may be gone by then.
    using SaveAnswer = std::function<void(bool saved)>;
    using SaveHandler = std::function<void(const QByteArray& data, const QString& extension, SaveAnswer answer)>;

    VeskImageEditor(VeskItem item, SaveHandler onSave, QWidget* parent = nullptr);
    ~VeskImageEditor() override;

    const VeskItem& item() const { return m_item; }
    ImageEditSession& session() const { return *m_session; }
    const EditSettings& settings() const;
    // Applies settings as the controls would (the canvas, the overlay and the readouts follow).
    void setSettings(const EditSettings& settings);

    bool isSaving() const { return m_isSaving; }
    const std::optional<QString>& saveError() const { return m_saveError; }
    // The Save action: encode, hand over, close on success or show the alert.
    void saveEditedVersion();
    void openMarkup();

    ImageEditorCanvas* canvas() const { return m_canvas; }
    ImageEditorControls* controls() const { return m_controls; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* markupButton() const { return m_markupButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    // The open markup sheet (or its "could not be prepared" stand-in), and the open alert.
    QDialog* markupSheet() const { return m_markupSheet; }
    QMessageBox* saveAlert() const { return m_alert; }

    static const QString kCouldNotCreateMessage;
    static const QString kCouldNotSaveMessage;

private:
    QWidget* makeHeader();
    void settingsChanged();
    void refreshButtons();
    void refreshFileSizes();
    void finishSave(const std::optional<EncodedImage>& encoded);
    void saveAnswered(bool saved);
    void showSaveError(const QString& message);
    void closeMarkup();

    VeskItem m_item;
    SaveHandler m_onSave;
    ImageEditSession* m_session;
    ImageEditorCanvas* m_canvas = nullptr;
    ImageEditorControls* m_controls = nullptr;
    QPushButton* m_markupButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    BusyIndicator* m_saveBusy = nullptr;
    bool m_isSaving = false;
    std::optional<QString> m_saveError;
    QPointer<QDialog> m_markupSheet;
    QPointer<QMessageBox> m_alert;
};

} // namespace vesk
