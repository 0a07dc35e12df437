#include "app/SearchField.h"

#include "app/MainWindowState.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Theme.h"
#include "present/VeskGroupFilter.h"
#include "store/VeskStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace vesk {

SearchField::SearchField(VeskStore& store, MainWindowState& state, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(state)
{
    setFixedSize(capsuleWidth, capsuleHeight);
    setAttribute(Qt::WA_TranslucentBackground);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 0, 14, 0);
    row->setSpacing(8);

    m_symbol = new QLabel(this);
    m_symbol->setFixedSize(18, 18);
    row->addWidget(m_symbol);

    m_edit = new QLineEdit(this);
    m_edit->setFrame(false);
    m_edit->setPlaceholderText(QStringLiteral("What do you remember?"));
    m_edit->setFont(Theme::font(TextStyle::Body));
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_edit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    m_edit->setAccessibleName(QStringLiteral("Search"));
    // A drop anywhere on the window is an intake, the header included: a file or link dropped on
    // the field must be kept, not typed into the search.
    m_edit->setAcceptDrops(false);
    m_edit->installEventFilter(this);
    row->addWidget(m_edit, 1);

    m_clear = new QToolButton(this);
    m_clear->setAutoRaise(true);
    m_clear->setCursor(Qt::ArrowCursor);
    m_clear->setFocusPolicy(Qt::NoFocus);
    m_clear->setIconSize(QSize(15, 15));
    m_clear->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; padding: 0; }"));
    m_clear->setAccessibleName(QStringLiteral("Clear search"));
    row->addWidget(m_clear);

    refreshSymbols();
    syncFromStore();

    connect(m_edit, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text != m_store.searchText())
            m_store.setSearchText(text);
    });
    connect(m_edit, &QLineEdit::returnPressed, this, &SearchField::submitSearch);
    connect(m_clear, &QToolButton::clicked, this, &SearchField::clearSearch);
    connect(&m_store, &VeskStore::searchTextChanged, this, &SearchField::syncFromStore);
    connect(&m_state, &MainWindowState::searchFieldIsFocusedChanged, this, &SearchField::syncFocusFromState);
    connect(&Theme::current(), &Theme::appearanceChanged, this, &SearchField::refreshSymbols);
}

void SearchField::refreshSymbols()
{
    const Theme& theme = Theme::current();
    m_symbol->setPixmap(IconMap::pixmap(QStringLiteral("sparkle.magnifyingglass"), theme.secondary(), 18,
                                        devicePixelRatioF()));
    m_clear->setIcon(IconMap::icon(QStringLiteral("xmark.circle.fill"), theme.secondary(), 15));
}

void SearchField::syncFromStore()
{
    const QString& text = m_store.searchText();
    if (m_edit->text() != text)
        m_edit->setText(text);
    // Shown for any non-empty text, spaces included.
    m_clear->setVisible(!text.isEmpty());
}

void SearchField::syncFocusFromState()
{
    if (m_state.searchFieldIsFocused()) {
        if (!m_edit->hasFocus()) {
            if (QWidget* top = window())
                top->activateWindow();
            m_edit->setFocus(Qt::OtherFocusReason);
        }
    } else if (m_edit->hasFocus()) {
        m_edit->clearFocus();
    }
}

bool SearchField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit) {
        if (event->type() == QEvent::FocusIn)
            m_state.setSearchFieldIsFocused(true);
        else if (event->type() == QEvent::FocusOut)
            m_state.setSearchFieldIsFocused(false);
    }
    return QWidget::eventFilter(watched, event);
}

void SearchField::submitSearch()
{
    if (isBlankSearch(m_store.searchText()) || m_store.filteredItems().isEmpty())
        return;
    m_store.select(m_store.filteredItems().constFirst().id);
    m_state.setSurfacePulse(!m_state.surfacePulse());
    m_state.setSearchFieldIsFocused(false);
    // No control keeps the keyboard: the window itself takes it, so the grid's commands see the
    // keys that follow.
    m_edit->clearFocus();
    if (QWidget* top = window())
        top->setFocus(Qt::OtherFocusReason);
}

void SearchField::clearSearch()
{
    m_store.setSearchText(QString());
}

} // namespace vesk
