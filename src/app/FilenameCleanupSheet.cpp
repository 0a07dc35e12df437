#include "app/FilenameCleanupSheet.h"

#include "app/LibraryCommands.h"
#include "app/MainWindow.h"
#include "app/MainWindowState.h"
#include "pane/SectionParts.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/SheetParts.h"
#include "platform/ui/Theme.h"
#include "store/VeskStore.h"
#include "platform/ui/VeskAlert.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int kOldTitleRole = Qt::UserRole + 1;
constexpr int kNewTitleRole = Qt::UserRole + 2;

// One proposal: the old title in the secondary colour, below it an arrow and the new title in
// medium weight; both on one line, cut short rather than wrapped. Painted, so a long list costs
// no widget per row.
class CandidateDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(option.rect.width(), lineHeight() * 2 + kGap + kPadding * 2);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const Theme& theme = Theme::current();
        painter->save();
        const QRect area = option.rect.adjusted(6, kPadding, -6, -kPadding);
        const QFont oldFont = Theme::font(TextStyle::Body);
        const QFont newFont = Theme::font(Theme::pointSize(TextStyle::Body), QFont::Medium);

        painter->setFont(oldFont);
        painter->setPen(theme.secondary());
        const QRect oldLine(area.left(), area.top(), area.width(), lineHeight());
        painter->drawText(oldLine, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(oldFont).elidedText(index.data(kOldTitleRole).toString(), Qt::ElideRight,
                                                           oldLine.width()));

        const QRect newLine(area.left(), oldLine.bottom() + 1 + kGap, area.width(), lineHeight());
        const int symbol = 16;
        IconMap::paint(*painter, QRectF(newLine.left(), newLine.top(), symbol, newLine.height()),
                       QStringLiteral("arrow.turn.down.right"), theme.label(), 13);
        painter->setFont(newFont);
        painter->setPen(theme.label());
        const QRect newText = newLine.adjusted(symbol + 6, 0, 0, 0);
        painter->drawText(newText, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(newFont).elidedText(index.data(kNewTitleRole).toString(), Qt::ElideRight,
                                                           newText.width()));
        painter->restore();
    }

private:
    static constexpr int kPadding = 4;
    static constexpr int kGap = 4;
    static int lineHeight() { return QFontMetrics(Theme::font(TextStyle::Body)).height(); }
};

// The platform's empty-content look: a symbol, a title and a description, centred.
QWidget* nothingToCleanUp(QWidget* parent)
{
    auto* view = new QWidget(parent);
    auto* column = new QVBoxLayout(view);
    column->setSpacing(10);
    column->addStretch(1);
    auto* symbol = new QLabel(view);
    symbol->setPixmap(IconMap::pixmap(QStringLiteral("checkmark.circle"), Theme::current().secondary(), 44,
                                      view->devicePixelRatioF()));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addWidget(makeLabel(QStringLiteral("Nothing to clean up"), Theme::font(TextStyle::Title3), Theme::current().label(),
                            view),
                      0, Qt::AlignHCenter);
    auto* description = makeLabel(QStringLiteral("Vesk found no recognizable machine-generated titles. Your existing names "
                                             "are unchanged."),
                              Theme::font(TextStyle::Body), Theme::current().secondary(), view);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignHCenter);
    description->setMaximumWidth(420);
    // Centred by stretches, not by an alignment flag: a label placed with an alignment gets the
    // height of its size hint instead of the height its wrapped lines need at its width, and its
    // last line is cut off.
    auto* centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addWidget(description, 4);
    centred->addStretch(1);
    column->addLayout(centred);
    column->addStretch(1);
    return view;
}

} // namespace

FilenameCleanupSheet::FilenameCleanupSheet(VeskStore& store, MainWindowState& state, QWidget* parent)
    : QDialog(parent)
    , m_store(&store)
    , m_state(&state)
{
    setWindowTitle(QStringLiteral("Clean Up Filenames"));
    setFixedSize(640, 520);
    const Theme& theme = Theme::current();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 22, 22, 22);
    column->setSpacing(16);

    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    QFont titleFont = Theme::font(TextStyle::Title2);
    titleFont.setWeight(QFont::Bold);
    titles->addWidget(makeLabel(QStringLiteral("Clean Up Filenames"), titleFont, theme.label(), this));
    titles->addWidget(makeLabel(QStringLiteral("Preview the title changes before applying them."),
                            Theme::font(TextStyle::Body), theme.secondary(), this));
    header->addLayout(titles);
    header->addStretch(1);
    m_close = new QPushButton(QStringLiteral("Close"), this);
    m_close->setAutoDefault(false);
    header->addWidget(m_close, 0, Qt::AlignTop);
    column->addLayout(header);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: %1;").arg(theme.separator().name(QColor::HexArgb)));
    column->addWidget(divider);

    const QList<VeskFilenameCleanupCandidate>& candidates = state.filenameCleanupCandidates();
    if (candidates.isEmpty()) {
        m_empty = nothingToCleanUp(this);
        column->addWidget(m_empty, 1);
    } else {
        m_headline = makeLabel(cleanupHeadline(candidates.size()), Theme::font(TextStyle::Headline), theme.label(), this);
        column->addWidget(m_headline);
        m_list = new QListWidget(this);
        m_list->setItemDelegate(new CandidateDelegate(m_list));
        m_list->setSelectionMode(QAbstractItemView::NoSelection);
        m_list->setUniformItemSizes(true);
        for (const VeskFilenameCleanupCandidate& candidate : candidates) {
            auto* row = new QListWidgetItem(m_list);
            row->setData(Qt::UserRole, candidate.id);
            row->setData(kOldTitleRole, candidate.oldTitle);
            row->setData(kNewTitleRole, candidate.newTitle);
            row->setToolTip(candidate.oldTitle + QStringLiteral(" \u2192 ") + candidate.newTitle);
        }
        column->addWidget(m_list, 1);
        column->addWidget(makeLabel(QStringLiteral("Only Vesk titles change. Original files and previously customized "
                                               "names stay untouched."),
                                Theme::font(TextStyle::Caption), theme.secondary(), this));
    }

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_apply = prominentButton(QStringLiteral("Apply Changes"), this);
    m_apply->setDefault(true);
    m_apply->setEnabled(!candidates.isEmpty());
    footer->addWidget(m_cancel);
    footer->addWidget(m_apply);
    column->addLayout(footer);

    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        if (m_store && m_state)
            applyFilenameCleanupFromSheet(*m_store, *m_state);
        if (isVisible())
            accept();
    });
}

QDialog* makeFilenameCleanupSheet(MainWindow& window)
{
    return new FilenameCleanupSheet(window.store(), window.state(), &window);
}

CleanupCompletionAlert::CleanupCompletionAlert(MainWindowState& state, QWidget* window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
{
    connect(&state, &MainWindowState::cleanupFinishedCountChanged, this, [this] {
        // After the sheet that set the count has gone.
        QTimer::singleShot(0, this, &CleanupCompletionAlert::follow);
    });
}

QMessageBox* CleanupCompletionAlert::alert() const
{
    return m_alert;
}

void CleanupCompletionAlert::follow()
{
    const std::optional<int> count = m_state.cleanupFinishedCount();
    if (!count) {
        if (m_alert)
            m_alert->close();
        return;
    }
    if (m_alert) {
        m_alert->setInformativeText(cleanupCompletionMessage(*count));
        return;
    }
    QMessageBox* alert = makeVeskAlert(QStringLiteral("Filename Cleanup Complete"), cleanupCompletionMessage(*count),
                                       AlertSymbol::None, m_window);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    addAlertButton(alert, QStringLiteral("OK"), QMessageBox::AcceptRole);
    connect(alert, &QDialog::finished, this, [this] { m_state.setCleanupFinishedCount(std::nullopt); });
    m_alert = alert;
    alert->open();
}

} // namespace vesk
