#include "richtext/VeskRichTextToolbar.h"

#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "richtext/VeskRichTextController.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QStyle>
#include <QToolButton>
#include <cmath>

namespace vesk {

namespace {

constexpr const char* kActiveProperty = "veskActive";

QString chipStyleSheet()
{
    const Theme& theme = Theme::current();
    auto rgba = [](const QColor& color) { return color.name(QColor::HexArgb); };
    return QStringLiteral(
               "QToolButton { border: 1px solid %1; border-radius: 5px; padding: 2px 4px; color: %2; }"
               "QToolButton[veskActive=\"true\"] { color: %3; background: %4; border: 1px solid %5; border-radius: 4px; }"
               "QFrame#divider { color: %6; }")
        .arg(rgba(theme.primary(0.12)), rgba(theme.primary()), rgba(theme.accent()), rgba(theme.accent(0.20)),
             rgba(theme.accent(0.45)), rgba(theme.separator()));
}

// Letters for the character-style chips when the icon map has no symbol for them.
QString fallbackGlyph(const QString& symbol)
{
    if (symbol == QLatin1String("bold"))
        return QStringLiteral("B");
    if (symbol == QLatin1String("italic"))
        return QStringLiteral("I");
    if (symbol == QLatin1String("underline"))
        return QStringLiteral("U");
    return symbol.left(1).toUpper();
}

} // namespace

QString pointSizeLabel(qreal points)
{
    return QString::number(static_cast<long long>(std::trunc(points))) + QStringLiteral(" pt");
}

bool isCurrentSizeEntry(int entry, qreal currentPointSize)
{
    return std::abs(currentPointSize - entry) < 0.6;
}

VeskRichTextToolbar::VeskRichTextToolbar(VeskRichTextController* controller, QList<int> sizes, QWidget* parent)
    : QWidget(parent), m_controller(controller), m_sizes(std::move(sizes))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    setStyleSheet(chipStyleSheet());

    auto command = [this](auto action) {
        return [this, action] {
            if (m_controller)
                action(*m_controller);
        };
    };

    connect(addIconChip("bold", "bold", QStringLiteral("Bold — Ctrl+B")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.toggleFontTrait(FontTrait::bold); }));
    connect(addIconChip("italic", "italic", QStringLiteral("Italic — Ctrl+I")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.toggleFontTrait(FontTrait::italic); }));
    connect(addIconChip("underline", "underline", QStringLiteral("Underline — Ctrl+U")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.toggleUnderline(); }));
    addDivider();
    connect(addTextChip("heading", QStringLiteral("Heading"), QStringLiteral("Heading")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.applyHeading(); }));
    connect(addTextChip("body", QStringLiteral("Body"), QStringLiteral("Body text")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.applyBody(); }));

    m_sizeButton = new QToolButton(this);
    m_sizeButton->setObjectName(QStringLiteral("size"));
    m_sizeButton->setToolTip(QStringLiteral("Text size"));
    m_sizeButton->setPopupMode(QToolButton::InstantPopup);
    m_sizeButton->setFont(Theme::monospacedDigitFont(12));
    // A plain label, not a chip, with a small arrow that says a menu opens from it.
    m_sizeButton->setStyleSheet(QStringLiteral(
        "QToolButton { border: none; background: transparent; padding: 2px 14px 2px 4px; }"
        "QToolButton::menu-indicator { subcontrol-origin: padding; subcontrol-position: center right;"
        " right: 2px; width: 8px; height: 8px; }"));
    auto* menu = new QMenu(m_sizeButton);
    m_sizeButton->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, &VeskRichTextToolbar::rebuildSizeMenu);
    rebuildSizeMenu();
    layout->addWidget(m_sizeButton);
    addDivider();

    connect(addIconChip("bulleted", "list.bullet", QStringLiteral("Bulleted list")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.applyList(RichTextListKind::bulleted); }));
    connect(addIconChip("numbered", "list.number", QStringLiteral("Numbered list")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.applyList(RichTextListKind::numbered); }));
    connect(addIconChip("checklist", "checklist", QStringLiteral("Checkbox list")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.applyList(RichTextListKind::checklist); }));
    connect(addIconChip("radio", "circle", QStringLiteral("Radio list")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.applyList(RichTextListKind::radio); }));
    addDivider();
    connect(addIconChip("alignLeft", "text.alignleft", QStringLiteral("Align left")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.setAlignment(RichTextAlignment::left); }));
    connect(addIconChip("alignCenter", "text.aligncenter", QStringLiteral("Align center")), &QToolButton::clicked,
            this, command([](VeskRichTextController& c) { c.setAlignment(RichTextAlignment::center); }));
    connect(addIconChip("alignRight", "text.alignright", QStringLiteral("Align right")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.setAlignment(RichTextAlignment::right); }));
    addDivider();
    connect(addIconChip("link", "link", QStringLiteral("Add link to selected text")), &QToolButton::clicked, this,
            command([](VeskRichTextController& c) { c.addLinkToSelection(); }));
    layout->addStretch(1);

    if (m_controller)
        connect(m_controller, &VeskRichTextController::stateChanged, this, &VeskRichTextToolbar::updateChips);
    connect(&Theme::current(), &Theme::appearanceChanged, this, [this] {
        setStyleSheet(chipStyleSheet());
        updateChips();
    });
    updateChips();
}

QToolButton* VeskRichTextToolbar::addIconChip(const QString& name, const QString& symbol, const QString& help)
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolTip(help);
    button->setIconSize(QSize(18, 16));
    button->setFocusPolicy(Qt::NoFocus);  // the editor keeps the focus and its selection
    layout()->addWidget(button);
    m_chips.append(Chip{button, symbol});
    return button;
}

QToolButton* VeskRichTextToolbar::addTextChip(const QString& name, const QString& text, const QString& help)
{
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolTip(help);
    button->setText(text);
    button->setFocusPolicy(Qt::NoFocus);
    layout()->addWidget(button);
    m_chips.append(Chip{button, QString()});
    return button;
}

void VeskRichTextToolbar::addDivider()
{
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedHeight(18);
    divider->setObjectName(QStringLiteral("divider"));
    layout()->addWidget(divider);
}

QToolButton* VeskRichTextToolbar::control(const QString& name) const
{
    return findChild<QToolButton*>(name);
}

bool VeskRichTextToolbar::isActive(const QToolButton* chip)
{
    return chip && chip->property(kActiveProperty).toBool();
}

void VeskRichTextToolbar::updateChips()
{
    const VeskRichTextController* c = m_controller.data();
    auto activeFor = [c](const QString& name) -> bool {
        if (!c)
            return false;
        if (name == QLatin1String("bold")) return c->isBold();
        if (name == QLatin1String("italic")) return c->isItalic();
        if (name == QLatin1String("underline")) return c->isUnderline();
        if (name == QLatin1String("heading")) return c->isHeading();
        if (name == QLatin1String("body")) return c->isBody();
        if (name == QLatin1String("bulleted")) return c->isBulletedList();
        if (name == QLatin1String("numbered")) return c->isNumberedList();
        if (name == QLatin1String("checklist")) return c->isChecklist();
        if (name == QLatin1String("radio")) return c->isRadioList();
        if (name == QLatin1String("alignLeft")) return c->isLeftAligned();
        if (name == QLatin1String("alignCenter")) return c->isCenterAligned();
        if (name == QLatin1String("alignRight")) return c->isRightAligned();
        if (name == QLatin1String("link")) return c->isLink();
        return false;
    };
    const Theme& theme = Theme::current();
    for (const Chip& chip : m_chips) {
        const bool active = activeFor(chip.button->objectName());
        if (chip.button->property(kActiveProperty).toBool() != active || !chip.button->property(kActiveProperty).isValid()) {
            chip.button->setProperty(kActiveProperty, active);
            chip.button->style()->unpolish(chip.button);
            chip.button->style()->polish(chip.button);
        }
        if (chip.symbol.isEmpty())
            continue;
        if (IconMap::codepoint(chip.symbol))
            chip.button->setIcon(IconMap::icon(chip.symbol, active ? theme.accent() : theme.primary(), 16));
        else
            chip.button->setText(fallbackGlyph(chip.symbol));
    }
    m_sizeButton->setText(pointSizeLabel(c ? c->currentPointSize() : 15));
}

void VeskRichTextToolbar::rebuildSizeMenu()
{
    QMenu* menu = m_sizeButton->menu();
    menu->clear();
    const qreal current = m_controller ? m_controller->currentPointSize() : 15;
    const QIcon mark = IconMap::icon(QStringLiteral("checkmark"), Theme::current().label(), 14);
    for (int size : m_sizes) {
        QAction* action = menu->addAction(QString::number(size) + QStringLiteral(" pt"));
        // One mark on the current size; the other entries show nothing, not an empty box.
        if (isCurrentSizeEntry(size, current))
            action->setIcon(mark);
        action->setIconVisibleInMenu(true);
        connect(action, &QAction::triggered, this, [this, size] {
            if (m_controller)
                m_controller->setPointSize(size);
        });
    }
}

} // namespace vesk
