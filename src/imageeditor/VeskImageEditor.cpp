#include "imageeditor/VeskImageEditor.h"

#include "editor/ImageEditSession.h"
#include "imageeditor/EditorWidgets.h"
#include "imageeditor/ImageEditorCanvas.h"
#include "imageeditor/ImageEditorControls.h"
#include "imageeditor/VeskCropOverlay.h"
#include "imageeditor/VeskMarkupEditor.h"
#include "platform/FutureDelivery.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "platform/ui/VeskAlert.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QVBoxLayout>

namespace vesk {

const QString VeskImageEditor::kCouldNotCreateMessage = QStringLiteral("Vesk could not create the edited image file.");
const QString VeskImageEditor::kCouldNotSaveMessage = QStringLiteral("Vesk could not save the edited version.");

namespace {

const QString kUnknownSize = QStringLiteral("—");

QString byteCount(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace

VeskImageEditor::VeskImageEditor(VeskItem item, SaveHandler onSave, QWidget* parent)
    : QDialog(parent)
    , m_item(std::move(item))
    , m_onSave(std::move(onSave))
    , m_session(new ImageEditSession(m_item.filePath.value_or(QString()), this))
{
    setObjectName(QStringLiteral("imageEditor"));
    setWindowTitle(QStringLiteral("Edit Image"));
    setMinimumSize(920, 620);

    QWidget* header = makeHeader();
    m_canvas = new ImageEditorCanvas(this);
    m_controls = new ImageEditorControls;
    layOutEditorSheet(this, header, m_canvas, m_controls, 270);

    connect(m_controls, &ImageEditorControls::settingsEdited, this, &VeskImageEditor::setSettings);
    connect(m_canvas->overlay(), &VeskCropOverlay::insetsChanged, this, [this](const CropInsets& crop) {
        EditSettings updated = settings();
        updated.crop = crop;
        setSettings(updated);
    });
    connect(m_session, &ImageEditSession::loaded, this, &VeskImageEditor::settingsChanged);
    connect(m_session, &ImageEditSession::loadFailed, this, [this] {
        m_canvas->showFailure();
        refreshButtons();
        refreshFileSizes();
    });
    connect(m_session, &ImageEditSession::encodeFinished, this, &VeskImageEditor::refreshFileSizes);

    refreshButtons();
    refreshFileSizes();
    m_session->start();
}

VeskImageEditor::~VeskImageEditor() = default;

QWidget* VeskImageEditor::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(18, 18, 18, 18);
    row->setSpacing(12);
    row->addWidget(sheetTitleBlock(QStringLiteral("Edit Image"),
                                   QStringLiteral("The original stays untouched. Saving creates a new Vesk."), header));
    row->addStretch(1);

    m_markupButton = borderedButton(QStringLiteral("Markup"), QStringLiteral("pencil.tip.crop.circle"), header);
    m_markupButton->setObjectName(QStringLiteral("imageEditorMarkup"));
    connect(m_markupButton, &QPushButton::clicked, this, &VeskImageEditor::openMarkup);
    row->addWidget(m_markupButton);

    m_cancelButton = borderedButton(QStringLiteral("Cancel"), QString(), header);
    m_cancelButton->setObjectName(QStringLiteral("imageEditorCancel"));
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(m_cancelButton);

    m_saveButton = borderedButton(QStringLiteral("Save Edited Version"), QStringLiteral("square.and.arrow.down"), header, true);
    m_saveButton->setObjectName(QStringLiteral("imageEditorSave"));
    m_saveButton->setMinimumWidth(m_saveButton->sizeHint().width());
    auto* busyLayout = new QHBoxLayout(m_saveButton);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    m_saveBusy = new BusyIndicator(m_saveButton, 14, Theme::white());
    m_saveBusy->hide();
    busyLayout->addWidget(m_saveBusy, 0, Qt::AlignCenter);
    connect(m_saveButton, &QPushButton::clicked, this, &VeskImageEditor::saveEditedVersion);
    row->addWidget(m_saveButton);
    return header;
}

const EditSettings& VeskImageEditor::settings() const
{
    return m_session->settings();
}

void VeskImageEditor::setSettings(const EditSettings& settings)
{
    if (settings == m_session->settings())
        return;
    m_session->setSettings(settings);
    settingsChanged();
}

void VeskImageEditor::settingsChanged()
{
    const EditSettings& current = m_session->settings();
    m_controls->setSettings(current);
    m_canvas->overlay()->setInsets(current.crop);
    if (m_session->loadState() == ImageEditSession::LoadState::Ready)
        m_canvas->setPicture(m_session->canvasImage());
    refreshButtons();
    refreshFileSizes();
}

void VeskImageEditor::refreshButtons()
{
    const bool ready = m_session->loadState() == ImageEditSession::LoadState::Ready;
    m_markupButton->setEnabled(ready);
    m_saveButton->setEnabled(ready && !m_isSaving);
    m_saveButton->setText(m_isSaving ? QString() : QStringLiteral("Save Edited Version"));
    m_saveButton->setIcon(m_isSaving ? QIcon() : IconMap::icon(QStringLiteral("square.and.arrow.down"), Theme::white(), 14));
    m_saveBusy->setVisible(m_isSaving);
}

void VeskImageEditor::refreshFileSizes()
{
    QString original = kUnknownSize;
    if (m_item.filePath) {
        const QFileInfo info(*m_item.filePath);
        if (info.isFile())
            original = byteCount(info.size());
    }
    QString edited = kUnknownSize;
    if (m_session->currentEncode())
        edited = byteCount(m_session->currentEncode()->data.size());
    else if (m_session->loadState() != ImageEditSession::LoadState::Failed && m_session->encodePending())
        edited = QStringLiteral("…");
    m_controls->setFileSizes(original, edited);
}

void VeskImageEditor::saveEditedVersion()
{
    if (m_isSaving)
        return;
    if (m_session->loadState() != ImageEditSession::LoadState::Ready) {
        showSaveError(kCouldNotCreateMessage);
        return;
    }
    m_isSaving = true;
    refreshButtons();
    // The full-size encode may still be under way; the spinner shows until it is handed over.
    QFuture<std::optional<EncodedImage>> encoded = m_session->encodeNow();
    if (encoded.isFinished()) {
        finishSave(encoded.result());
        return;
    }
    deliverResult(this, encoded, [this](const std::optional<EncodedImage>& result) { finishSave(result); });
}

void VeskImageEditor::finishSave(const std::optional<EncodedImage>& encoded)
{
    if (!encoded) {
        m_isSaving = false;
        refreshButtons();
        showSaveError(kCouldNotCreateMessage);
        return;
    }
    if (!m_onSave) {
        saveAnswered(false);
        return;
    }
    // The spinner stays until the store has the file on the disk and answers.
    const QPointer<VeskImageEditor> self(this);
    m_onSave(encoded->data, encoded->extension, [self](bool saved) {
        if (self)
            self->saveAnswered(saved);
    });
}

void VeskImageEditor::saveAnswered(bool saved)
{
    m_isSaving = false;
    refreshButtons();
    if (saved) {
        accept();
        return;
    }
    showSaveError(kCouldNotSaveMessage);
}

void VeskImageEditor::showSaveError(const QString& message)
{
    m_saveError = message;
    if (m_alert)
        m_alert->close();
    QMessageBox* alert = makeVeskAlert(QStringLiteral("Could Not Save Edited Version"), message, AlertSymbol::Warning, this);
    alert->setObjectName(QStringLiteral("imageEditorSaveAlert"));
    addAlertButton(alert, QStringLiteral("OK"), QMessageBox::RejectRole);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QDialog::finished, this, [this] { m_saveError.reset(); });
    m_alert = alert;
    alert->open();
}

void VeskImageEditor::openMarkup()
{
    if (m_markupSheet || m_session->loadState() != ImageEditSession::LoadState::Ready)
        return;
    const QImage image = m_session->adjustedDisplayImage();
    QDialog* sheet = nullptr;
    if (image.isNull()) {
        sheet = new QDialog(this);
        auto* layout = new QVBoxLayout(sheet);
        layout->setContentsMargins(30, 30, 30, 30);
        layout->addWidget(new QLabel(QStringLiteral("This image could not be prepared for markup."), sheet));
    } else {
        auto* markup = new VeskMarkupEditor(image, this);
        connect(markup, &VeskMarkupEditor::cancelled, this, &VeskImageEditor::closeMarkup);
        connect(markup, &VeskMarkupEditor::applied, this, [this](const QList<VeskMarkupElement>& elements) {
            // The new list replaces the old one entirely; an empty list removes all markup.
            EditSettings updated = settings();
            updated.markup = elements;
            setSettings(updated);
            closeMarkup();
        });
        sheet = markup;
    }
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    m_markupSheet = sheet;
    sheet->open();
}

void VeskImageEditor::closeMarkup()
{
    if (m_markupSheet)
        m_markupSheet->close();
}

} // namespace vesk
