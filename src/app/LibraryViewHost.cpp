#include "app/LibraryViewHost.h"

#include "app/MainWindowState.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "preview/DisplayTitles.h"
#include "preview/GroupFilter.h"
#include "store/VeskStore.h"

#include <QAbstractListModel>
#include <QListView>
#include <QPainter>
#include <QVBoxLayout>

namespace vesk {

namespace {

// The visible items' titles, following the store and the window's browsing state.
class VisibleTitlesModel : public QAbstractListModel {
public:
    VisibleTitlesModel(VeskStore& store, MainWindowState& state, QObject* parent)
        : QAbstractListModel(parent)
        , m_store(store)
        , m_state(state)
    {
        reload();
        for (auto signal : {&VeskStore::filteredItemsChanged, &VeskStore::searchTextChanged})
            connect(&store, signal, this, &VisibleTitlesModel::reload);
        connect(&state, &MainWindowState::groupFilterChanged, this, &VisibleTitlesModel::reload);
        connect(&state, &MainWindowState::showingAllVesksChanged, this, &VisibleTitlesModel::reload);
        connect(&store, &VeskStore::selectedIDsChanged, this, [this] {
            if (!m_items.isEmpty())
                emit dataChanged(index(0), index(int(m_items.size()) - 1), {Qt::FontRole});
        });
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(m_items.size()); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_items.size())
            return {};
        const VeskItem& item = m_items.at(index.row());
        if (role == Qt::DisplayRole)
            return cleanedDisplayTitle(item);
        if (role == Qt::FontRole)
            return Theme::font(13, m_store.selectedIDs().contains(item.id) ? QFont::DemiBold : QFont::Normal);
        if (role == Qt::UserRole)
            return item.id;
        return {};
    }

private:
    void reload()
    {
        beginResetModel();
        m_items = visibleItems(m_store.searchText(), m_store.filteredItems(), m_state.groupFilter(),
                               m_state.showingAllVesks());
        endResetModel();
    }

    VeskStore& m_store;
    MainWindowState& m_state;
    QList<VeskItem> m_items;
};

} // namespace

QWidget* makePlaceholderLibraryContent(VeskStore& store, MainWindowState& state, QWidget* parent)
{
    auto* list = new QListView(parent);
    list->setObjectName(QStringLiteral("placeholderLibraryList"));
    list->setFrameShape(QFrame::NoFrame);
    list->setAttribute(Qt::WA_TranslucentBackground);
    list->viewport()->setAutoFillBackground(false);
    list->setSpacing(4);
    list->setUniformItemSizes(true);
    auto* model = new VisibleTitlesModel(store, state, list);
    list->setModel(model);
    QObject::connect(list, &QListView::clicked, list, [&store](const QModelIndex& index) {
        store.select(index.data(Qt::UserRole).toUuid());
    });
    return list;
}

DropTargetHighlight::DropTargetHighlight(MainWindowState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_state, &MainWindowState::isTargetedChanged, this, qOverload<>(&QWidget::update));
}

void DropTargetHighlight::paintEvent(QPaintEvent*)
{
    if (!m_state.isTargeted())
        return;
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::roundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius);
    p.fillPath(shape, theme.accent(0.06));
    Painting::strokeDashed(p, shape, theme.accent(0.75), 2, {10, 8});
}

LibraryViewHost::LibraryViewHost(VeskStore& store, MainWindowState& state, const LibraryContentFactory& factory,
                                 QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const LibraryContentFactory& make = factory ? factory : LibraryContentFactory(makePlaceholderLibraryContent);
    m_content = make(store, state, this);
    layout->addWidget(m_content);
    m_highlight = new DropTargetHighlight(state, this);
    m_highlight->raise();
}

void LibraryViewHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_highlight->setGeometry(rect());
    m_highlight->raise();
}

} // namespace vesk
