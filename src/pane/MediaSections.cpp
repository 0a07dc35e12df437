#include "pane/MediaSections.h"
#include "pane/PaneIcons.h"

#include "media/MediaTimeFormat.h"
#include "media/VeskAudioPlayerController.h"
#include "media/VeskVideoPlayerController.h"
#include "media/VideoMoment.h"
#include "pane/MediaPlayerViews.h"
#include "pane/PreviewKindDecision.h"
#include "pane/PreviewSections.h"
#include "pane/SectionParts.h"
#include "pane/WrappingText.h"
#include "platform/FutureDelivery.h"
#include "platform/Settings.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int kDefaultMomentLength = 20;
constexpr int kLengthChoicePadding = 6;

// The player's frame: clipped corners are drawn as a thin outline over the video.
class PlayerFrame : public QWidget {
public:
    explicit PlayerFrame(QWidget* content, QWidget* parent)
        : QWidget(parent)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->addWidget(content);
        setMinimumHeight(260);
        setMaximumHeight(460);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return QSize(300, 340); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Painting::stroke(painter, Painting::roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12),
                         Theme::current().primary(0.06), 1);
    }
};

} // namespace

QString videoMomentExplanation(int lengthSeconds)
{
    const QString half = QString::number(lengthSeconds / 2);
    return QStringLiteral("Saves ") + half + QStringLiteral(" seconds before and ") + half
        + QStringLiteral(" seconds after the current point, when available.");
}

QString videoMomentButtonTitle(int lengthSeconds, bool saving)
{
    return saving ? QStringLiteral("Saving Moment\u2026")
                  : QStringLiteral("Save ") + QString::number(lengthSeconds) + QStringLiteral("s Moment");
}

VideoSection::VideoSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent)
    : QWidget(parent)
    , m_item(item)
    , m_saveMoment(context.saveVideoMoment)
    , m_settings(context.settings)
{
    setObjectName(QStringLiteral("previewVideoSection"));
    const Theme& theme = Theme::current();
    const QString path = item.filePath.value_or(QString());
    auto* column = makeColumn(this, previewSectionSpacing(PreviewSection::Video));
    column->addWidget(makeSectionTitle(QStringLiteral("Video"), this));

    m_controller = new VeskVideoPlayerController(this);
    m_player = new VeskVideoPlayer(path, m_controller, this);
    column->addWidget(new PlayerFrame(m_player, this));

    auto* moment = new QVBoxLayout;
    moment->setSpacing(7);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    m_save = new QPushButton(this);
    m_save->setObjectName(QStringLiteral("videoMomentSave"));
    // The moment row's one action: filled with the accent, its symbol white as its text.
    m_save->setProperty("veskRole", "prominent");
    m_save->setIcon(paneSymbolIcon(QStringLiteral("scissors"), QColor(Qt::white), 13));
    m_save->setToolTip(QStringLiteral("Save a centered clip around the current playhead."));
    connect(m_save, &QPushButton::clicked, this, &VideoSection::startVideoMomentExport);
    row->addWidget(m_save);
    m_playhead = makeLabel(QString(), Theme::font(TextStyle::Caption2), theme.secondary(), this);
    m_playhead->setObjectName(QStringLiteral("videoPlayhead"));
    row->addWidget(m_playhead);
    row->addStretch(1);
    moment->addLayout(row);

    auto* lengths = new QHBoxLayout;
    lengths->setSpacing(0);
    lengths->addWidget(makeLabel(QStringLiteral("Moment length"), Theme::font(TextStyle::Caption2), theme.secondary(), this));
    lengths->addSpacing(8);
    m_lengths = new QButtonGroup(this);
    for (const int seconds : kVideoMomentLengths) {
        const QString label = QString::number(seconds) + QStringLiteral("s");
        auto* choice = new QPushButton(label, this);
        choice->setCheckable(true);
        // A small segmented control (the pane is narrow), as wide and high as its text needs in
        // whatever font size the desktop uses.
        choice->setFont(Theme::font(TextStyle::Caption2));
        // The window's button padding is for words; these choices take a padding of their own and
        // a box that holds their text whole.
        choice->setStyleSheet(QStringLiteral("QPushButton { padding: %1px %2px; min-height: 0px; min-width: 0px; }")
                                  .arg(kLengthChoicePadding / 2)
                                  .arg(kLengthChoicePadding));
        const QFontMetrics metrics(choice->font());
        choice->setFixedSize(metrics.horizontalAdvance(label) + 2 * kLengthChoicePadding + 6,
                             std::max(22, metrics.height() + kLengthChoicePadding + 4));
        choice->setObjectName(QStringLiteral("videoMomentLength%1").arg(seconds));
        m_lengths->addButton(choice, seconds);
        lengths->addWidget(choice);
    }
    lengths->addStretch(1);
    connect(m_lengths, &QButtonGroup::idClicked, this, &VideoSection::setVideoMomentDuration);
    moment->addLayout(lengths);
    m_explanation = makeWrappedLabel(QString(), Theme::font(TextStyle::Caption2), theme.tertiary(), this);
    moment->addWidget(m_explanation);
    column->addLayout(moment);

    m_statusLabel = makeWrappedLabel(QString(), Theme::font(Theme::pointSize(TextStyle::Caption2), QFont::Medium),
                                     theme.secondary(), this);
    m_statusLabel->setObjectName(QStringLiteral("videoMomentStatus"));
    column->addWidget(m_statusLabel);
    column->addWidget(makeStoredCopyBlock(path, this));
    addOpenButton(column, QStringLiteral("Open Original"), path, context, this)
        ->setToolTip(QStringLiteral("Open this file in its default app"));

    connect(m_controller, &VeskVideoPlayerController::changed, this, &VideoSection::refresh);
    refresh();
}

VideoSection::~VideoSection() = default;

int VideoSection::videoMomentDuration() const
{
    const int stored = m_settings ? m_settings->value(kVideoMomentDurationKey, kDefaultMomentLength).toInt() : 0;
    return stored > 0 ? stored : kDefaultMomentLength;
}

void VideoSection::setVideoMomentDuration(int seconds)
{
    if (m_settings)
        m_settings->setValue(kVideoMomentDurationKey, seconds);
    refresh();
}

void VideoSection::refresh()
{
    const int length = videoMomentDuration();
    m_save->setText(videoMomentButtonTitle(length, m_saving));
    m_save->setEnabled(!m_saving);
    m_playhead->setText(QStringLiteral("At ") + formatPlaybackTime(m_controller->currentTime()));
    for (QAbstractButton* choice : m_lengths->buttons()) {
        choice->setEnabled(!m_saving);
        choice->setChecked(m_lengths->id(choice) == length);
    }
    m_explanation->setText(videoMomentExplanation(length));
    m_statusLabel->setVisible(!m_status.isEmpty());
    m_statusLabel->setText(m_status);
}

void VideoSection::startVideoMomentExport()
{
    if (m_saving || !m_item.filePath)
        return;
    const QString source = *m_item.filePath;
    const double centre = m_controller->currentTime();
    const int length = videoMomentDuration();
    m_saving = true;
    m_status = QStringLiteral("Saving ") + QString::number(length) + QStringLiteral("-second moment\u2026");
    refresh();
    // The export reads and writes the whole clip: off the main thread, so the window stays alive.
    // The moment is kept even when the pane moves on to another item meanwhile: the user asked for
    // it, and the temporary clip is removed either way.
    const QPointer<VideoSection> self(this);
    const auto save = m_saveMoment;
    deliverResult(QCoreApplication::instance(), exportVideoMomentAsync(source, centre, length * 0.5, length * 0.5),
        [self, save, centre](const Expected<QString, QString>& clip) {
            if (!clip) {
                if (self)
                    self->finishMoment(QStringLiteral("Could not save moment: ") + clip.error());
                return;
            }
            // Keeping the moment selects it, and the pane may rebuild for it: the section can be
            // gone once the store returns.
            const Expected<VeskItem, QString> saved = save ? save(*clip, centre) : unexpected(QString());
            QFile::remove(*clip);
            if (!self)
                return;
            if (saved)
                self->finishMoment(QStringLiteral("Moment saved around ") + formatPlaybackTime(centre) + QLatin1Char('.'));
            else if (saved.error().isEmpty())
                self->finishMoment(QStringLiteral("Vesk could not save this moment."));
            else
                self->finishMoment(QStringLiteral("Could not save moment: ") + saved.error() + QLatin1Char('.'));
        });
}

void VideoSection::finishMoment(const QString& status)
{
    m_status = status;
    m_saving = false;
    refresh();
    emit momentFinished();
}

QWidget* makeAudioSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent)
{
    auto* section = new QWidget(parent);
    section->setObjectName(QStringLiteral("previewAudioSection"));
    auto* column = makeColumn(section, previewSectionSpacing(PreviewSection::Audio));
    column->addWidget(makeSectionTitle(QStringLiteral("Audio"), section));
    const QString path = item.filePath.value_or(QString());
    std::unique_ptr<AudioBackend> backend = context.audioBackend ? context.audioBackend() : makeSystemAudioBackend();
    column->addWidget(new VeskAudioPlayer(path, item.title, std::move(backend), section));
    column->addWidget(makeStoredCopyBlock(path, section));
    addOpenButton(column, QStringLiteral("Open Original"), path, context, section)
        ->setToolTip(QStringLiteral("Open this file in its default app"));
    return section;
}

} // namespace vesk
