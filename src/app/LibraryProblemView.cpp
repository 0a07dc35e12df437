#include "app/LibraryProblemView.h"

#include "app/BorderedButton.h"
#include "platform/ui/IconMap.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int kTextWidth = 560;

// The failure-coloured medallion above the headline.
class WarningMedallion : public QWidget {
public:
    explicit WarningMedallion(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(96, 96);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath disc;
        disc.addEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        Painting::fillMaterial(p, disc, MaterialThickness::UltraThin, Theme::current());
        p.fillPath(disc, Theme::failure(0.08));
        IconMap::paint(p, rect(), QStringLiteral("exclamationmark.triangle"), Theme::failure(), 38);
    }
};

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString LibraryProblemView::headline(const VeskLibraryProblem& problem)
{
    switch (problem.kind) {
    case VeskLibraryProblem::Kind::Lost: return QStringLiteral("The library is missing.");
    case VeskLibraryProblem::Kind::Damaged: return QStringLiteral("The library file is damaged.");
    case VeskLibraryProblem::Kind::Unreadable: break;
    }
    return QStringLiteral("The library could not be read.");
}

QStringList LibraryProblemView::paragraphs(const VeskLibraryProblem& problem)
{
    QStringList lines;
    if (problem.kind == VeskLibraryProblem::Kind::Lost) {
        lines << QStringLiteral("This folder has held a Vesk library, but ") + problem.reason + QStringLiteral(": ")
                     + problem.databasePath;
        lines << QStringLiteral("Vesk has not started a new library over it. If you moved or restored the library, "
                                "put it back and start Vesk again.");
    } else if (problem.kind == VeskLibraryProblem::Kind::Damaged) {
        lines << QStringLiteral("Vesk checked its library file ") + problem.databasePath + QStringLiteral(": ")
                     + problem.reason + QLatin1Char('.');
        lines << QStringLiteral("Nothing more is written into the file, so that what is left in it is not buried. "
                                "What you added since Vesk started is not in it. Your managed files in the Items "
                                "folder are untouched.");
    } else {
        lines << QStringLiteral("Vesk could not read its library file ") + problem.databasePath
                     + QStringLiteral(": ") + problem.reason + QLatin1Char('.');
        lines << QStringLiteral("Nothing new is kept and nothing is written into the file until it can be read. "
                                "Your managed files in the Items folder are untouched.");
    }
    if (problem.newestSnapshot)
        lines << QStringLiteral("The newest recovery snapshot is in ") + *problem.newestSnapshot + QLatin1Char('.');
    if (problem.kind == VeskLibraryProblem::Kind::Damaged) {
        lines << (problem.newestSnapshot
                      ? QStringLiteral("To go on from it, quit Vesk and put the snapshot's copy of the library in "
                                       "place of the damaged file.")
                      : QStringLiteral("There is no recovery snapshot to go on from."));
    }
    return lines;
}

LibraryProblemView::LibraryProblemView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto* column = new QVBoxLayout(this);
    column->setSpacing(18);
    column->addStretch(1);
    column->addWidget(new WarningMedallion(this), 0, Qt::AlignHCenter);

    m_headline = new QLabel(this);
    m_headline->setObjectName(QStringLiteral("libraryProblemHeadline"));
    m_headline->setFont(Theme::font(25, QFont::Bold));
    m_headline->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_headline, 0, Qt::AlignHCenter);

    m_body = new QLabel(this);
    m_body->setObjectName(QStringLiteral("libraryProblemBody"));
    m_body->setFont(Theme::font(13));
    m_body->setWordWrap(true);
    m_body->setFixedWidth(kTextWidth);
    m_body->setAlignment(Qt::AlignHCenter);
    m_body->setTextFormat(Qt::RichText);
    // Paths can be copied out to a terminal or a file manager.
    m_body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_body, 0, Qt::AlignHCenter);

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(12);
    buttons->addStretch(1);
    m_openFolder = new BorderedButton(QStringLiteral("Open Library Folder"), this);
    m_startNew = new BorderedButton(QStringLiteral("Start a New Library"), this);
    m_openSnapshot = new BorderedButton(QStringLiteral("Open Newest Snapshot"), this);
    buttons->addWidget(m_openFolder);
    buttons->addWidget(m_openSnapshot);
    buttons->addWidget(m_startNew);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addStretch(1);

    connect(m_openFolder, &QPushButton::clicked, this,
            [this] { emit openFolderRequested(QFileInfo(m_problem.databasePath).absolutePath()); });
    connect(m_startNew, &QPushButton::clicked, this, &LibraryProblemView::startNewLibraryRequested);
    connect(m_openSnapshot, &QPushButton::clicked, this, [this] {
        if (m_problem.newestSnapshot)
            emit openFolderRequested(*m_problem.newestSnapshot);
    });
    connect(&Theme::current(), &Theme::appearanceChanged, this, &LibraryProblemView::refreshColors);
    setProblem(m_problem);
    refreshColors();
}

void LibraryProblemView::setProblem(const VeskLibraryProblem& problem)
{
    m_problem = problem;
    m_headline->setText(headline(problem));
    QString html;
    for (const QString& paragraph : paragraphs(problem))
        html += QStringLiteral("<p>") + escaped(paragraph) + QStringLiteral("</p>");
    m_body->setText(html);
    // A word-wrapped label in a column is otherwise laid out at the height of its first text.
    m_body->setMinimumHeight(m_body->heightForWidth(kTextWidth));
    m_startNew->setVisible(problem.kind == VeskLibraryProblem::Kind::Lost);
    m_openSnapshot->setVisible(problem.newestSnapshot.has_value());
}

void LibraryProblemView::refreshColors()
{
    const Theme& theme = Theme::current();
    QPalette headlinePalette = m_headline->palette();
    headlinePalette.setColor(QPalette::WindowText, theme.label());
    m_headline->setPalette(headlinePalette);
    QPalette bodyPalette = m_body->palette();
    bodyPalette.setColor(QPalette::WindowText, theme.secondary());
    m_body->setPalette(bodyPalette);
}

} // namespace vesk
