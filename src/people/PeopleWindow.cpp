#include "people/PeopleWindow.h"

#include "people/FaceTile.h"
#include "people/PeopleParts.h"
#include "people/PeoplePrompt.h"
#include "people/PeopleRules.h"
#include "platform/ui/IconMap.h"
#include "store/VeskStore.h"
#include "platform/ui/VeskAlert.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

QHBoxLayout* row(int spacing, QWidget* parent = nullptr)
{
    auto* layout = parent ? new QHBoxLayout(parent) : new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout* column(int spacing, QWidget* parent = nullptr)
{
    auto* layout = parent ? new QVBoxLayout(parent) : new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// A section's header line: its title, a space, and the label at its end.
QHBoxLayout* sectionHeader(const QString& title, QLabel* trailing)
{
    auto* header = row(0);
    header->addWidget(styledLabel(title, TextStyle::Headline, QFont::DemiBold, Theme::current().label()));
    header->addStretch(1);
    header->addWidget(trailing);
    return header;
}

} // namespace

VeskFaceClusterInspector::VeskFaceClusterInspector(VeskStore& store, QWidget* parent)
    : QDialog(parent), m_store(&store)
{
    setWindowTitle(QStringLiteral("People"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(820, 700);
    const Theme& theme = Theme::current();

    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(22, 22, 22, 22);
    m_column->setSpacing(18);

    auto* header = row(0);
    auto* titles = column(4);
    titles->addWidget(styledLabel(QStringLiteral("People"), TextStyle::Title2, QFont::Bold, theme.label(), this));
    titles->addWidget(styledLabel(QStringLiteral("Vesk suggests. You confirm. Vesk remembers the connection."),
                                  TextStyle::Caption, QFont::Normal, theme.secondary(), this));
    header->addLayout(titles);
    header->addStretch(1);
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("doneButton"));
    done->setAutoDefault(false);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    header->addWidget(done, 0, Qt::AlignVCenter);
    m_column->addLayout(header);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->viewport()->setAutoFillBackground(false);

    rebuild();
    connect(&store, &VeskStore::faceDataRevisionChanged, this, &VeskFaceClusterInspector::scheduleRebuild);
    connect(&Theme::current(), &Theme::appearanceChanged, this, &VeskFaceClusterInspector::scheduleRebuild);
}

VeskFaceClusterInspector::~VeskFaceClusterInspector()
{
    // Its tiles were the only ones to show face previews; the next window cuts them again.
    if (m_store)
        m_store->releaseFacePreviews();
}

void VeskFaceClusterInspector::scheduleRebuild()
{
    // Later, never inside the click that changed the store: the button clicked goes with the old
    // content.
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QTimer::singleShot(0, this, [this] { rebuild(); });
}

void VeskFaceClusterInspector::rebuild()
{
    m_rebuildPending = false;
    if (!m_store)
        return;
    // The blocks that waited go with the content they stood in.
    m_suggestionsPending = 0;
    const int scrolled = m_scroll->verticalScrollBar()->value();

    QWidget* counts = buildCounts();
    if (m_counts) {
        delete m_column->replaceWidget(m_counts, counts); // the old item is ours to delete
        m_counts->deleteLater();
    } else {
        m_column->addWidget(counts);
        m_column->addWidget(divider(this));
        m_column->addWidget(m_scroll, 1);
    }
    m_counts = counts;

    auto* body = new QWidget;
    body->setAutoFillBackground(false);
    auto* sections = column(24, body);
    sections->setContentsMargins(0, 0, 8, 0);
    sections->addWidget(buildKnownPeople());
    sections->addWidget(divider(body));
    sections->addWidget(buildUnassigned());
    sections->addStretch(1);
    delete m_scroll->takeWidget();
    m_scroll->setWidget(body);
    QTimer::singleShot(0, m_scroll, [scroll = m_scroll, scrolled] { scroll->verticalScrollBar()->setValue(scrolled); });
}

QWidget* VeskFaceClusterInspector::buildCounts()
{
    const VeskFaceStatistics statistics = m_store->faceStatistics();
    auto* counts = new QWidget(this);
    auto* layout = row(10, counts);
    const std::pair<qlonglong, QString> tiles[] = {
        {statistics.total, QStringLiteral("Faces")},
        {statistics.confirmed, QStringLiteral("Confirmed")},
        {statistics.unassigned, QStringLiteral("Unassigned")},
        {m_store->personPoolSummaries().size(), QStringLiteral("People")},
    };
    for (const auto& [value, label] : tiles) {
        auto* tile = new CountTile(value, label, counts);
        tile->setObjectName(QStringLiteral("countTile"));
        layout->addWidget(tile, 1);
    }
    return counts;
}

QWidget* VeskFaceClusterInspector::buildKnownPeople()
{
    const Theme& theme = Theme::current();
    auto* section = new QWidget;
    auto* layout = column(12, section);
    layout->addLayout(sectionHeader(QStringLiteral("Known People"),
                                    styledLabel(QStringLiteral("You control every confirmation"), TextStyle::Caption2,
                                                QFont::Normal, theme.tertiary())));

    const QList<VeskPersonPoolSummary> people = m_store->personPoolSummaries();
    if (people.isEmpty()) {
        QLabel* empty = styledLabel(
            QStringLiteral("No one has been named yet. Pick an unassigned face below to start a person pool."),
            TextStyle::Subheadline, QFont::Normal, theme.secondary());
        empty->setObjectName(QStringLiteral("knownPeopleEmpty"));
        empty->setWordWrap(true);
        empty->setContentsMargins(0, 8, 0, 8);
        layout->addWidget(empty);
        return section;
    }
    for (const VeskPersonPoolSummary& person : people)
        layout->addWidget(buildPersonCard(person, people));
    return section;
}

QWidget* VeskFaceClusterInspector::buildPersonCard(const VeskPersonPoolSummary& person,
                                                   const QList<VeskPersonPoolSummary>& all)
{
    const Theme& theme = Theme::current();
    // The suggestions are asked for first, as each card is drawn.
    QWidget* suggestions = buildSuggestionBlock(person);

    auto* card = new RoundedPanel(14, 0.035, 0.07);
    card->setObjectName(QStringLiteral("personCard"));
    card->setProperty("poolID", person.id);
    auto* layout = column(12, card);
    layout->setContentsMargins(14, 14, 14, 14);

    auto* header = row(12);
    if (person.representativeFaceID)
        header->addWidget(new FaceTile(*m_store, *person.representativeFaceID, 66, card));
    auto* titles = column(3);
    titles->addStretch(1);
    titles->addWidget(styledLabel(person.name, TextStyle::Title3, QFont::Bold, theme.label(), card));
    titles->addWidget(styledLabel(personCountLine(person.faceCount, person.veskCount), TextStyle::Caption,
                                  QFont::Normal, theme.secondary(), card));
    titles->addStretch(1);
    header->addLayout(titles);
    header->addStretch(1);
    QPushButton* rename = smallButton(QStringLiteral("Rename…"), "bordered", QStringLiteral("Rename ") + person.name, card);
    rename->setObjectName(QStringLiteral("renameButton"));
    connect(rename, &QPushButton::clicked, this, [this, id = person.id, name = person.name] { beginRename(id, name); });
    header->addWidget(rename);
    if (offersMerge(person, all)) {
        const VeskPersonPoolSummary target = *mergeTarget(person, all);
        QPushButton* merge = smallButton(QStringLiteral("Merge into ") + target.name, "prominent",
                                         mergeHelp(person.name, target.name), card);
        merge->setObjectName(QStringLiteral("mergeButton"));
        connect(merge, &QPushButton::clicked, this, [this, source = person.id, targetID = target.id] {
            if (m_store)
                act([&] { return m_store->mergePersonPools(source, targetID); });
        });
        header->addWidget(merge);
    }
    layout->addLayout(header);
    suggestions->setParent(card);
    layout->addWidget(suggestions);
    return card;
}

QWidget* VeskFaceClusterInspector::buildSuggestionBlock(const VeskPersonPoolSummary& person)
{
    auto* holder = new QWidget;
    auto* layout = column(0, holder);
    const auto shown = m_shownSuggestions.constFind(person.id);
    if (shown != m_shownSuggestions.cend())
        layout->addWidget(buildSuggestionContent(person, *shown));
    ++m_suggestionsPending;
    m_store->findFaceSuggestionsLater(person.id, kSuggestionLimit, kSuggestionMinimum, holder,
        [this, holder, layout, person](const QList<VeskFaceSuggestion>& suggestions) {
            --m_suggestionsPending;
            const auto previous = m_shownSuggestions.constFind(person.id);
            const bool unchanged = previous != m_shownSuggestions.cend() && *previous == suggestions;
            m_shownSuggestions.insert(person.id, suggestions);
            if (unchanged && layout->count() > 0)
                return;
            while (QLayoutItem* item = layout->takeAt(0)) {
                delete item->widget();
                delete item;
            }
            QWidget* content = buildSuggestionContent(person, suggestions);
            content->setParent(holder);
            layout->addWidget(content);
        });
    return holder;
}

QWidget* VeskFaceClusterInspector::buildSuggestionContent(const VeskPersonPoolSummary& person,
                                                          const QList<VeskFaceSuggestion>& suggestions)
{
    const Theme& theme = Theme::current();
    if (suggestions.isEmpty()) {
        QLabel* none = styledLabel(QStringLiteral("No strong unconfirmed suggestions right now."), TextStyle::Caption,
                                   QFont::Normal, theme.tertiary());
        none->setObjectName(QStringLiteral("noSuggestions"));
        return none;
    }
    auto* block = new QWidget;
    auto* layout = column(8, block);
    auto* header = row(10);
    header->addWidget(styledLabel(QStringLiteral("Possible ") + person.name, TextStyle::Caption, QFont::DemiBold,
                                  theme.secondary(), block));
    header->addStretch(1);
    QPushButton* all = smallButton(QStringLiteral("Confirm All as ") + person.name, "prominent",
                                   confirmAllHelp(int(suggestions.size()), person.name), block);
    all->setObjectName(QStringLiteral("confirmAllButton"));
    QList<QUuid> shown;
    for (const VeskFaceSuggestion& suggestion : suggestions)
        shown.append(suggestion.faceID);
    connect(all, &QPushButton::clicked, this, [this, shown, pool = person.id] {
        if (m_store)
            act([&] { return m_store->confirmFaces(shown, pool) > 0; });
    });
    header->addWidget(all);
    layout->addLayout(header);
    for (const VeskFaceSuggestion& suggestion : suggestions) {
        QWidget* line = buildSuggestionRow(suggestion);
        line->setParent(block);
        layout->addWidget(line);
    }
    return block;
}

QWidget* VeskFaceClusterInspector::buildSuggestionRow(const VeskFaceSuggestion& suggestion)
{
    const Theme& theme = Theme::current();
    auto* panel = new RoundedPanel(11, 0.025);
    panel->setObjectName(QStringLiteral("suggestionRow"));
    panel->setProperty("faceID", suggestion.faceID);
    auto* layout = row(12, panel);
    layout->setContentsMargins(10, 10, 10, 10);
    if (suggestion.representativeFaceID)
        layout->addWidget(new FaceTile(*m_store, *suggestion.representativeFaceID, 52, panel));
    auto* arrow = new QLabel(IconMap::glyph(QStringLiteral("arrow.left.arrow.right")), panel);
    arrow->setFont(IconMap::font(Theme::pointSize(TextStyle::Caption)));
    QPalette palette = arrow->palette();
    palette.setColor(QPalette::WindowText, theme.tertiary());
    arrow->setPalette(palette);
    layout->addWidget(arrow);
    layout->addWidget(new FaceTile(*m_store, suggestion.faceID, 52, panel));
    auto* texts = column(2);
    texts->addStretch(1);
    texts->addWidget(styledLabel(QStringLiteral("Possible ") + suggestion.poolName, TextStyle::Subheadline,
                                 QFont::DemiBold, theme.label(), panel));
    QLabel* similarity = styledLabel(similarityText(suggestion.similarity), TextStyle::Caption2, QFont::Normal,
                                     theme.secondary(), panel);
    similarity->setFont(Theme::monospacedDigitFont(Theme::pointSize(TextStyle::Caption2)));
    texts->addWidget(similarity);
    texts->addStretch(1);
    layout->addLayout(texts);
    layout->addStretch(1);
    QPushButton* yes = smallButton(QStringLiteral("Yes"), "prominent", QString(), panel);
    yes->setObjectName(QStringLiteral("yesButton"));
    QPushButton* no = smallButton(QStringLiteral("Not ") + suggestion.poolName, "bordered", QString(), panel);
    no->setObjectName(QStringLiteral("notButton"));
    // Both act on the suggestion's own pool.
    connect(yes, &QPushButton::clicked, this, [this, face = suggestion.faceID, pool = suggestion.poolID] {
        if (m_store)
            act([&] { return m_store->confirmFace(face, pool); });
    });
    connect(no, &QPushButton::clicked, this, [this, face = suggestion.faceID, pool = suggestion.poolID] {
        if (m_store)
            act([&] { return m_store->rejectFace(face, pool); });
    });
    layout->addWidget(yes);
    layout->addWidget(no);
    return panel;
}

QWidget* VeskFaceClusterInspector::buildUnassigned()
{
    const Theme& theme = Theme::current();
    auto* section = new QWidget;
    auto* layout = column(12, section);
    QLabel* count = styledLabel(QString::asprintf("%lld", qlonglong(m_store->faceStatistics().unassigned)),
                                TextStyle::Caption, QFont::DemiBold, theme.secondary());
    count->setObjectName(QStringLiteral("unassignedCount"));
    layout->addLayout(sectionHeader(QStringLiteral("Unassigned Faces"), count));

    const QList<VeskFaceRecord> faces = m_store->unassignedFaces(kUnassignedLimit);
    if (faces.isEmpty()) {
        QLabel* none = styledLabel(QStringLiteral("Every detected face is currently assigned."), TextStyle::Subheadline,
                                   QFont::Normal, theme.secondary());
        none->setObjectName(QStringLiteral("unassignedEmpty"));
        layout->addWidget(none);
        return section;
    }
    auto* grid = new AdaptiveGrid(120, 150, 12, section);
    grid->setObjectName(QStringLiteral("unassignedGrid"));
    for (const VeskFaceRecord& face : faces)
        grid->addItem(buildUnassignedTile(face.id));
    layout->addWidget(grid);
    return section;
}

QWidget* VeskFaceClusterInspector::buildUnassignedTile(const QUuid& faceID)
{
    auto* tile = new RoundedPanel(12, 0.028);
    tile->setObjectName(QStringLiteral("unassignedTile"));
    tile->setProperty("faceID", faceID);
    auto* layout = column(8, tile);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(new FaceTile(*m_store, faceID, 92, tile), 0, Qt::AlignHCenter);
    auto* buttons = row(6);
    QPushButton* name = smallButton(QStringLiteral("Name…"), "bordered", QString(), tile);
    name->setObjectName(QStringLiteral("nameButton"));
    QPushButton* ignore =
        smallButton(QStringLiteral("Ignore"), "bordered", QStringLiteral("Remove this face from People suggestions"), tile);
    ignore->setObjectName(QStringLiteral("ignoreButton"));
    connect(name, &QPushButton::clicked, this, [this, faceID] { beginNaming(faceID); });
    connect(ignore, &QPushButton::clicked, this, [this, faceID] {
        if (m_store)
            act([&] { return m_store->ignoreFace(faceID); });
    });
    buttons->addWidget(name);
    buttons->addWidget(ignore);
    layout->addLayout(buttons);
    tile->setFixedSize(tile->sizeHint());
    return tile;
}

void VeskFaceClusterInspector::beginNaming(const QUuid& faceID)
{
    if (m_namingDialog)
        return;
    m_namingFaceID = faceID;
    m_newPersonName.clear();
    m_namingDialog = openPrompt(
        QStringLiteral("Name this person"),
        QStringLiteral("Name this person. If Vesk already knows someone with this name, this face will join that "
                       "person’s confirmed pool. Otherwise, a new person will be created."),
        QStringLiteral("Add Person"), m_newPersonName, &VeskFaceClusterInspector::submitNewPerson,
        &VeskFaceClusterInspector::clearNaming);
}

PeoplePrompt* VeskFaceClusterInspector::openPrompt(const QString& title, const QString& message,
                                                   const QString& confirmText, QString& name,
                                                   void (VeskFaceClusterInspector::*submit)(),
                                                   void (VeskFaceClusterInspector::*clear)())
{
    auto* prompt = new PeoplePrompt(title, message, confirmText, name, this);
    prompt->setAttribute(Qt::WA_DeleteOnClose);
    // The field edits the window's state; the dialog keeps none of its own.
    connect(prompt->field(), &QLineEdit::textChanged, this, [&name](const QString& text) { name = text; });
    connect(prompt, &QDialog::accepted, this, submit);
    connect(prompt, &QDialog::finished, this, clear);
    prompt->open();
    return prompt;
}

void VeskFaceClusterInspector::submitNewPerson()
{
    if (!m_namingFaceID)
        return;
    // As typed: the store trims it and joins a pool of the same name when there is one.
    if (m_store)
        act([&] { return m_store->createPersonPool(m_newPersonName, *m_namingFaceID); });
    clearNaming();
}

void VeskFaceClusterInspector::clearNaming()
{
    m_namingFaceID.reset();
    m_newPersonName.clear();
}

void VeskFaceClusterInspector::beginRename(const QUuid& poolID, const QString& name)
{
    if (m_renameDialog)
        return;
    m_renamingPoolID = poolID;
    m_renamePersonName = name;
    m_renameDialog = openPrompt(
        QStringLiteral("Rename Person"),
        QStringLiteral("Correct the name for this person. If that name already belongs to someone Vesk knows, you’ll "
                       "be offered a merge instead."),
        QStringLiteral("Rename"), m_renamePersonName, &VeskFaceClusterInspector::submitRename,
        &VeskFaceClusterInspector::clearRename);
}

void VeskFaceClusterInspector::submitRename()
{
    if (!m_renamingPoolID || !m_store)
        return;
    const QString trimmed = m_renamePersonName.trimmed();
    if (trimmed.isEmpty())
        return;
    const QUuid pool = *m_renamingPoolID;
    if (const auto taken = renameCollision(pool, trimmed, m_store->personPoolSummaries())) {
        // The name belongs to someone else: a merge is offered instead of a rename.
        m_pendingRenameMergeSourceID = pool;
        m_pendingRenameMergeTargetID = taken->id;
        m_pendingRenameMergeName = taken->name;
        clearRename();
        openMergeDialog();
        return;
    }
    act([&] { return m_store->renamePersonPool(pool, trimmed); });
    clearRename();
}

void VeskFaceClusterInspector::clearRename()
{
    m_renamingPoolID.reset();
    m_renamePersonName.clear();
}

void VeskFaceClusterInspector::openMergeDialog()
{
    QMessageBox* dialog = makeVeskAlert(m_pendingRenameMergeName + QStringLiteral(" already exists"),
                                        QStringLiteral("Vesk already knows ") + m_pendingRenameMergeName
                                            + QStringLiteral(". Merge these confirmed faces into that person’s pool?"),
                                        AlertSymbol::Question, this);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* merge =
        addAlertButton(dialog, QStringLiteral("Merge into ") + m_pendingRenameMergeName, QMessageBox::AcceptRole);
    merge->setObjectName(QStringLiteral("confirmMergeButton"));
    QPushButton* cancel = addAlertButton(dialog, QStringLiteral("Cancel"), QMessageBox::RejectRole);
    dialog->setEscapeButton(cancel);
    // Before the dialog finishes, which clears the pending merge.
    connect(dialog, &QMessageBox::buttonClicked, this, [this, merge](QAbstractButton* clicked) {
        if (clicked == merge)
            confirmRenameMerge();
    });
    connect(dialog, &QDialog::finished, this, &VeskFaceClusterInspector::clearPendingMerge);
    m_mergeDialog = dialog;
    dialog->open();
}

void VeskFaceClusterInspector::act(const std::function<bool()>& change)
{
    const std::optional<VeskFailureNotice> before = m_store->failureNotice();
    if (change() || !m_store)
        return;
    const std::optional<VeskFailureNotice> notice = m_store->failureNotice();
    // Nothing said: the change had nothing to do (a face that moved on meanwhile, a blank name).
    if (!notice || notice == before)
        return;
    if (m_failureAlert)
        m_failureAlert->close();
    QMessageBox* alert = makeVeskAlert(notice->title, notice->detail, AlertSymbol::Warning, this);
    addAlertButton(alert, QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    m_failureAlert = alert;
    alert->open();
    // Said here; the main window need not say it again once the sheet is closed.
    m_store->dismissFailureNotice();
}

void VeskFaceClusterInspector::confirmRenameMerge()
{
    if (!m_pendingRenameMergeSourceID || !m_pendingRenameMergeTargetID)
        return;
    // The faces of the pool that was to take the name join the pool that has it.
    if (m_store)
        act([&] { return m_store->mergePersonPools(*m_pendingRenameMergeSourceID, *m_pendingRenameMergeTargetID); });
    clearPendingMerge();
}

void VeskFaceClusterInspector::clearPendingMerge()
{
    m_pendingRenameMergeSourceID.reset();
    m_pendingRenameMergeTargetID.reset();
    m_pendingRenameMergeName.clear();
}

} // namespace vesk
