#include "imageeditor/VeskMarkupEditor.h"

#include "imageeditor/EditorWidgets.h"
#include "imageeditor/MarkupCanvas.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace vesk {

namespace {

QIcon swatchIcon(const QColor& color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::current().separator(), 1));
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    return QIcon(pixmap);
}

} // namespace

VeskMarkupEditor::VeskMarkupEditor(const QImage& image, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("markupEditor"));
    setWindowTitle(QStringLiteral("Markup"));
    setMinimumSize(980, 680);

    QWidget* header = makeHeader();
    m_canvas = new MarkupCanvas(m_state, image, this);
    layOutEditorSheet(this, header, m_canvas, makeSidebar(), 240);

    connect(m_canvas, &MarkupCanvas::stateChanged, this, &VeskMarkupEditor::refresh);
    refresh();
}

QWidget* VeskMarkupEditor::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(12);
    row->addWidget(sheetTitleBlock(QStringLiteral("Markup"),
                                   QStringLiteral("Focused annotation tools. No Photoshop with a hard hat."), header));
    row->addStretch(1);
    auto* cancel = borderedButton(QStringLiteral("Cancel"), QString(), header);
    cancel->setObjectName(QStringLiteral("markupCancel"));
    connect(cancel, &QPushButton::clicked, this, &VeskMarkupEditor::cancelled);
    row->addWidget(cancel);
    auto* apply = borderedButton(QStringLiteral("Apply Markup"), QStringLiteral("checkmark"), header, true);
    apply->setObjectName(QStringLiteral("markupApply"));
    connect(apply, &QPushButton::clicked, this, [this] {
        const QList<VeskMarkupElement> elements = m_state.elementsForApply();
        m_canvas->refresh();
        refresh();
        emit applied(elements);
    });
    row->addWidget(apply);
    return header;
}

QWidget* VeskMarkupEditor::makeSidebar()
{
    auto* sidebar = new QWidget;
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(18);

    QVBoxLayout* tools = addSection(column, QStringLiteral("Tools"), sidebar);
    auto* grid = new QGridLayout;
    grid->setSpacing(8);
    int index = 0;
    for (const VeskMarkupTool tool : kAllMarkupTools) {
        auto* button = borderedButton(markupToolTitle(tool), markupToolSymbol(tool), sidebar);
        button->setObjectName(QStringLiteral("markupTool-") + markupToolRawValue(tool));
        button->setMinimumWidth(10);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this, [this, tool] { selectTool(tool); });
        grid->addWidget(button, index / 2, index % 2);
        m_toolButtons.insert(tool, button);
        ++index;
    }
    tools->addLayout(grid);

    QVBoxLayout* color = addSection(column, QStringLiteral("Color"), sidebar);
    m_colorButton = borderedButton(QStringLiteral("Stroke"), QString(), sidebar);
    m_colorButton->setObjectName(QStringLiteral("markupStrokeColor"));
    connect(m_colorButton, &QPushButton::clicked, this, &VeskMarkupEditor::openColorPicker);
    color->addWidget(m_colorButton);

    QVBoxLayout* stroke = addSection(column, QStringLiteral("Stroke"), sidebar);
    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(styledLabel(QStringLiteral("Width"), TextStyle::Caption, sidebar, false, QFont::DemiBold));
    widthRow->addStretch(1);
    m_widthValue = styledLabel(QString(), TextStyle::Caption, sidebar, true);
    m_widthValue->setObjectName(QStringLiteral("markupWidthValue"));
    m_widthValue->setFont(Theme::monospacedDigitFont(Theme::pointSize(TextStyle::Caption)));
    widthRow->addWidget(m_widthValue);
    stroke->addLayout(widthRow);
    m_widthSlider = new QSlider(Qt::Horizontal, sidebar);
    m_widthSlider->setObjectName(QStringLiteral("markupWidthSlider"));
    m_widthSlider->setRange(2, 16);
    m_widthSlider->setSingleStep(1);
    m_widthSlider->setPageStep(1);
    m_widthSlider->setValue(int(m_state.strokeWidth));
    connect(m_widthSlider, &QSlider::valueChanged, this, [this](int value) { setStrokeWidth(value); });
    stroke->addWidget(m_widthSlider);

    QVBoxLayout* history = addSection(column, QStringLiteral("History"), sidebar);
    auto* historyRow = new QHBoxLayout;
    historyRow->setSpacing(8);
    // A command button, and its key where it has one. Keys act at once (a button's own
    // shortcut would click it a moment later); a text field with the focus keeps them.
    const auto commandButton = [this, sidebar](const QString& title, const QString& symbol, const QString& name,
                                               void (MarkupEditorState::*command)(), const QKeySequence& keys) {
        auto* button = borderedButton(title, symbol, sidebar);
        button->setObjectName(name);
        const auto run = [this, command] {
            (m_state.*command)();
            m_canvas->refresh();
            refresh();
        };
        connect(button, &QPushButton::clicked, this, run);
        if (!keys.isEmpty())
            connect(new QShortcut(keys, this), &QShortcut::activated, this, run);
        return button;
    };
    m_undoButton = commandButton(QStringLiteral("Undo"), QStringLiteral("arrow.uturn.backward"),
                                 QStringLiteral("markupUndo"), &MarkupEditorState::undo, QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redoButton = commandButton(QStringLiteral("Redo"), QStringLiteral("arrow.uturn.forward"),
                                 QStringLiteral("markupRedo"), &MarkupEditorState::redo,
                                 QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_Z));
    historyRow->addWidget(m_undoButton);
    historyRow->addWidget(m_redoButton);
    history->addLayout(historyRow);

    column->addWidget(horizontalDivider(sidebar));

    m_deleteButton = commandButton(QStringLiteral("Delete Selected"), QStringLiteral("delete.left"),
                                   QStringLiteral("markupDeleteSelected"), &MarkupEditorState::deleteSelected,
                                   QKeySequence(Qt::Key_Delete));
    column->addWidget(m_deleteButton);
    m_clearButton = commandButton(QStringLiteral("Clear Markup"), QStringLiteral("trash"), QStringLiteral("markupClear"),
                                  &MarkupEditorState::clearMarkup, QKeySequence());
    column->addWidget(m_clearButton);
    for (QPushButton* destructive : {m_deleteButton, m_clearButton}) {
        QPalette palette = destructive->palette();
        palette.setColor(QPalette::ButtonText, QColor(215, 0, 21));
        destructive->setPalette(palette);
    }

    auto* note = styledLabel(QStringLiteral("Markup stays separate while you work. Vesk will flatten it only when the "
                                            "edited version is saved."),
                             TextStyle::Caption, sidebar, true);
    note->setWordWrap(true);
    column->addWidget(note);
    column->addStretch(1);
    return sidebar;
}

void VeskMarkupEditor::selectTool(VeskMarkupTool tool)
{
    m_state.selectTool(tool);
    m_canvas->refresh();
    refresh();
}

void VeskMarkupEditor::setStrokeColor(const QColor& color)
{
    if (!color.isValid())
        return;
    m_state.strokeColor = color;
    m_canvas->refresh();
    refresh();
}

void VeskMarkupEditor::setStrokeWidth(double width)
{
    m_state.strokeWidth = std::clamp(std::round(width), 2.0, 16.0);
    m_canvas->refresh();
    refresh();
}

void VeskMarkupEditor::openColorPicker()
{
    auto* dialog = new QColorDialog(m_state.strokeColor, this);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, &VeskMarkupEditor::setStrokeColor);
    dialog->open();
}

void VeskMarkupEditor::refresh()
{
    const Theme& theme = Theme::current();
    for (auto it = m_toolButtons.cbegin(); it != m_toolButtons.cend(); ++it) {
        const bool current = it.key() == m_state.tool;
        it.value()->setProperty("current", current);
        it.value()->setStyleSheet(current ? QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %2;"
                                                           " border-radius: 7px; padding: 4px 6px; }")
                                                .arg(theme.accent(0.14).name(QColor::HexArgb), theme.accent().name(QColor::HexArgb))
                                          : QString());
        it.value()->setIcon(IconMap::icon(markupToolSymbol(it.key()), current ? theme.accent() : theme.label(), 14));
    }
    m_colorButton->setIcon(swatchIcon(m_state.strokeColor));
    m_widthValue->setText(QStringLiteral("%1 pt").arg(qRound64(m_state.strokeWidth)));
    if (m_widthSlider->value() != int(m_state.strokeWidth)) {
        const QSignalBlocker blocker(m_widthSlider);
        m_widthSlider->setValue(int(m_state.strokeWidth));
    }
    m_undoButton->setEnabled(m_state.canUndo());
    m_redoButton->setEnabled(m_state.canRedo());
    m_deleteButton->setEnabled(m_state.canDeleteSelected());
    m_clearButton->setEnabled(m_state.canClear());
}

} // namespace vesk
