#include "pane/VeskPhotoNotePreview.h"
#include "pane/PaneIcons.h"

#include "platform/FutureDelivery.h"

#include "intake/FileStability.h"
#include "intake/PackagePreviewData.h"
#include "pane/ElidedLabel.h"
#include "pane/SectionParts.h"
#include "platform/image/ImageLoader.h"
#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/WorkPool.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace vesk {

namespace {

// Cards are at most a pane wide: pictures larger than this only cost memory.
constexpr int kCardImageDimension = 1600;

QList<VeskPhotoNotePreview::Photo> loadPhotos(const std::optional<QString>& filePath)
{
    QList<VeskPhotoNotePreview::Photo> photos;
    for (const QString& path : loadPhotoNotePackage(filePath)) {
        QImage image;
        if (regularFileStamp(path))
            image = ImageLoader::load(path, kCardImageDimension);
        photos.append({path, image});
    }
    return photos;
}

// The picture as wide as the card, as tall as its aspect asks, with rounded corners.
class FittedPicture : public QWidget {
public:
    FittedPicture(QImage image, QWidget* parent)
        : QWidget(parent)
        , m_image(std::move(image))
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        // Never drawn larger than the picture itself.
        const int shown = std::min(width, int(m_image.width() / m_image.devicePixelRatio()));
        return std::max(1, int(std::lround(double(shown) * m_image.height() / std::max(1, m_image.width()))));
    }
    QSize sizeHint() const override { return {m_image.width(), heightForWidth(width() > 0 ? width() : 300)}; }

protected:
    void resizeEvent(QResizeEvent*) override { setFixedHeight(heightForWidth(width())); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const int shownWidth = std::min(width(), m_image.width());
        const QRectF target(0, 0, shownWidth, heightForWidth(width()));
        painter.setClipPath(Painting::roundedRect(target, 12));
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
};

QWidget* makePhotoCard(const VeskPhotoNotePreview::Photo& photo, const PreviewSectionContext& context, QWidget* parent)
{
    auto* content = new QWidget;
    auto* column = makeColumn(content, 8);
    column->addWidget(new FittedPicture(photo.image, content));
    auto* rowWidget = new QWidget(content);
    auto* row = new QHBoxLayout(rowWidget);
    row->setContentsMargins(0, 0, 0, 0);
    // The name takes the room the button leaves, cut in its middle when it is longer.
    auto* name = new ElidedLabel(QFileInfo(photo.path).fileName(), Qt::ElideMiddle, rowWidget);
    name->setFont(Theme::font(TextStyle::Caption2));
    QPalette palette = name->palette();
    palette.setColor(QPalette::WindowText, Theme::current().secondary());
    name->setPalette(palette);
    name->setObjectName(QStringLiteral("photoNoteName"));
    row->addWidget(name, 1);
    const QString path = photo.path;
    QPushButton* open = makeButton(QStringLiteral("Open Photo"), [open = context.open, path] {
        if (open)
            open(QUrl::fromLocalFile(path));
    }, rowWidget);
    open->setObjectName(QStringLiteral("photoNoteOpen"));
    row->addWidget(open);
    column->addWidget(rowWidget);
    auto* card = new PreviewBox(14, 0.025, 0, 10, content, parent);
    card->setObjectName(QStringLiteral("photoNoteCard"));
    card->setProperty("path", photo.path);
    return card;
}

} // namespace

VeskPhotoNotePreview::VeskPhotoNotePreview(const VeskItem& item, PreviewSectionContext context, QWidget* parent)
    : QWidget(parent)
    , m_context(std::move(context))
{
    setObjectName(QStringLiteral("photoNotePreview"));
    m_column = makeColumn(this, 14);
    m_column->addWidget(makeSectionTitle(QStringLiteral("Contents"), this));

    auto* text = new WrappingText(decodedText(item.text), Theme::font(TextStyle::Body), Theme::current().label());
    text->setObjectName(QStringLiteral("photoNoteText"));
    m_column->addWidget(new PreviewBox(12, 0.022, 0, 12, text, this));

    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* clip = new QLabel(header);
    clip->setPixmap(paneSymbolPixmap(QStringLiteral("paperclip"), Theme::current().label(), 13, devicePixelRatioF()));
    row->addWidget(clip);
    QFont subheadline = Theme::font(TextStyle::Subheadline);
    subheadline.setWeight(QFont::DemiBold);
    row->addWidget(makeLabel(QStringLiteral("Attached Photos"), subheadline, Theme::current().label(), header));
    row->addStretch(1);
    QFont digits = Theme::monospacedDigitFont(Theme::pointSize(TextStyle::Caption));
    m_count = makeLabel(QString(), digits, Theme::current().secondary(), header);
    m_count->setObjectName(QStringLiteral("photoNoteCount"));
    row->addWidget(m_count);
    m_column->addWidget(header);

    // Made afresh for every item shown: a result reaching a preview that is gone goes with it.
    deliverResult(this, QtConcurrent::run(workPool(), loadPhotos, item.filePath),
        [this](const QList<Photo>& photos) { present(photos); });
}

void VeskPhotoNotePreview::present(const QList<Photo>& photos)
{
    m_photos = photos;
    m_loaded = true;
    m_count->setText(QString::number(photos.size()));
    if (photos.isEmpty()) {
        QLabel* none = makeLabel(QStringLiteral("No photo attachments could be opened."), Theme::font(TextStyle::Caption),
                                 Theme::current().secondary(), this);
        none->setObjectName(QStringLiteral("photoNoteNone"));
        none->setWordWrap(true);
        m_column->addWidget(none);
    }
    for (const Photo& photo : photos) {
        if (!photo.image.isNull())
            m_column->addWidget(makePhotoCard(photo, m_context, this));
    }
    emit photosLoaded();
}

} // namespace vesk
