#include "pane/PreviewSections.h"
#include "pane/PaneIcons.h"
#include "pane/LongTextView.h"
#include "pane/MediaSections.h"
#include "pane/VeskActivityPreview.h"
#include "pane/VeskPhotoNotePreview.h"
#include "pane/SectionParts.h"
#include "pane/StoredCopyPathLabel.h"

#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "pane/CachedVeskImage.h"
#include "images/ImageCaches.h"
#include "pane/QuickLookThumb.h"
#include "richtext/RtfReader.h"
#include "richtext/VeskRichTextReadView.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QPainter>
#include <QFontMetricsF>
#include <cmath>
#include <memory>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

// Beyond this many characters a plain text is shown in a scroll view of its own.
constexpr qsizetype kLongTextCharacters = 60'000;

// A symbol followed by a caption-2 text, tertiary.
QWidget* makeSymbolLabel(const QString& symbol, const QString& text, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const QColor colour = Theme::current().tertiary();
    auto* icon = new QLabel(widget);
    icon->setPixmap(paneSymbolPixmap(symbol, colour, 12, widget->devicePixelRatioF()));
    row->addWidget(icon);
    row->addWidget(makeLabel(text, Theme::font(TextStyle::Caption2), colour, widget));
    return widget;
}

// A button that opens the section's file, which changes with the item shown.
QPushButton* makeOpenButton(const QString& title, const std::function<void()>& open, QVBoxLayout* column,
    QWidget* parent)
{
    QPushButton* button = makeButton(title, open, parent);
    column->addWidget(button, 0, Qt::AlignLeft);
    return button;
}

class ImageSection : public RefillableSection {
public:
    ImageSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent)
        : RefillableSection(parent)
    {
        setObjectName(QStringLiteral("previewImageSection"));
        m_column = makeColumn(this, previewSectionSpacing(PreviewSection::Image));
        m_column->addWidget(makeSectionTitle(QStringLiteral("Preview"), this));

        m_picture = new FullImageOrCached(context.caches ? context.caches->previews : nullptr);
        m_picture->setObjectName(QStringLiteral("previewFullImage"));
        m_picture->setFixedHeight(420);
        auto* box = new PreviewBox(14, 0, 0.055, 0, m_picture, this);
        box->setMinimumHeight(180);
        box->setMaximumHeight(420);
        m_column->addWidget(box);

        auto* labels = new QWidget(this);
        auto* row = new QHBoxLayout(labels);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(12);
        row->addWidget(makeSymbolLabel(QStringLiteral("text.viewfinder"), QStringLiteral("Text indexed"), labels));
        row->addWidget(makeSymbolLabel(QStringLiteral("eye"), QStringLiteral("Visual subjects indexed"), labels));
        row->addStretch(1);
        m_column->addWidget(labels);
        refill(item, context);
    }

    bool refill(const VeskItem& item, const PreviewSectionContext& context) override
    {
        m_picture->setItem(item);
        m_path = item.filePath;
        m_open = context.open;
        // Only an item with a stored file has an original to open.
        if (m_path && !m_openButton) {
            m_openButton = makeOpenButton(QStringLiteral("Open Original"), [this] {
                if (m_open && m_path)
                    m_open(QUrl::fromLocalFile(*m_path));
            }, m_column, this);
        } else if (!m_path && m_openButton) {
            delete m_openButton;
            m_openButton = nullptr;
        }
        return true;
    }

private:
    QVBoxLayout* m_column = nullptr;
    FullImageOrCached* m_picture = nullptr;
    QPushButton* m_openButton = nullptr;
    std::optional<QString> m_path;
    std::function<void(const QUrl&)> m_open;
};

class TextSection : public RefillableSection {
public:
    TextSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent)
        : RefillableSection(parent)
    {
        setObjectName(QStringLiteral("previewTextSection"));
        auto* column = makeColumn(this, previewSectionSpacing(PreviewSection::Text));
        m_title = makeSectionTitle(textSectionTitle(item), this);
        column->addWidget(m_title);

        // Bytes that do not read as rich text fall back to the plain text below.
        if (context.richText && looksLikeRtf(*context.richText)) {
            auto* view = new VeskRichTextReadView;
            view->setObjectName(QStringLiteral("previewRichText"));
            view->setRtfData(*context.richText);
            view->setOnRTFChange(context.richTextChanged);
            if (context.open)
                view->setLinkOpener(context.open);
            auto* box = new PreviewBox(12, 0.022, 0.05, 0, view, this);
            // The pane scrolls, so the box always has room for its ideal height; a short body would
            // otherwise shrink it to the minimum and a long one scroll inside a small box.
            box->setFixedHeight(420);
            column->addWidget(box);
            return;
        }

        const ItemText body = item.text.value_or(ItemText());
        if (body.size() > kLongTextCharacters) {
            // Laying out a whole long extract at once would stall the window: a scroll view of its
            // own lays out only what is on screen.
            auto* text = new LongTextView(body);
            text->setObjectName(QStringLiteral("previewPlainText"));
            text->setFrameShape(QFrame::NoFrame);
            text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            text->setFont(Theme::font(TextStyle::Body));
            QPalette palette = text->palette();
            palette.setColor(QPalette::Text, Theme::current().label());
            text->setPalette(palette);
            text->viewport()->setAutoFillBackground(false);
            text->setFixedHeight(420);
            column->addWidget(new PreviewBox(12, 0.022, 0.05, 12, text, this));
            return;
        }
        m_plain = new WrappingText(body.toString(), Theme::font(TextStyle::Body), Theme::current().label());
        m_plain->setObjectName(QStringLiteral("previewPlainText"));
        column->addWidget(new PreviewBox(12, 0.022, 0.05, 12, m_plain, this));
    }

    // Only a short plain text takes another short plain text; a rich text or a long one has a
    // view of its own, made for it.
    bool refill(const VeskItem& item, const PreviewSectionContext& context) override
    {
        if (!m_plain || (context.richText && looksLikeRtf(*context.richText)))
            return false;
        const ItemText body = item.text.value_or(ItemText());
        if (body.size() > kLongTextCharacters)
            return false;
        m_title->setText(textSectionTitle(item));
        m_plain->setText(body.toString());
        relayoutUpTo(m_plain, this);
        return true;
    }

    bool madeForItsItem() const override { return !m_plain; }

private:
    QLabel* m_title = nullptr;
    // The short plain text, when that is what the section shows.
    WrappingText* m_plain = nullptr;
};

class LinkSection : public RefillableSection {
public:
    LinkSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent)
        : RefillableSection(parent)
    {
        setObjectName(QStringLiteral("previewLinkSection"));
        auto* column = makeColumn(this, previewSectionSpacing(PreviewSection::Link));
        column->addWidget(makeSectionTitle(QStringLiteral("Destination"), this));

        m_address = item.urlString.value_or(QString());
        QFont mono = Theme::font(12);
        mono.setStyleHint(QFont::Monospace);
        mono.setFamily(QStringLiteral("monospace"));
        m_label = new WrappingText(m_address, mono, Theme::current().secondary());
        m_label->setObjectName(QStringLiteral("previewLinkAddress"));
        column->addWidget(new PreviewBox(11, 0.022, 0, 11, m_label, this));

        m_open = context.open;
        column->addWidget(makeButton(QStringLiteral("Open Link"), [this] {
            if (const auto url = openableLink(m_address); url && m_open)
                m_open(*url);
        }, this), 0, Qt::AlignLeft);
    }

    bool refill(const VeskItem& item, const PreviewSectionContext& context) override
    {
        m_address = item.urlString.value_or(QString());
        m_open = context.open;
        m_label->setText(m_address);
        relayoutUpTo(m_label, this);
        return true;
    }

private:
    WrappingText* m_label = nullptr;
    QString m_address;
    std::function<void(const QUrl&)> m_open;
};

class FileSection : public RefillableSection {
public:
    FileSection(const VeskItem& item, const PreviewSectionContext& context, QWidget* parent)
        : RefillableSection(parent)
    {
        setObjectName(QStringLiteral("previewFileSection"));
        auto* column = makeColumn(this, previewSectionSpacing(PreviewSection::File));
        column->addWidget(makeSectionTitle(QStringLiteral("Preview"), this));

        m_path = item.filePath.value_or(QString());
        m_open = context.open;
        m_thumb = new QuickLookThumb(context.caches ? context.caches->fileThumbnails : nullptr);
        m_thumb->setObjectName(QStringLiteral("previewFileThumbnail"));
        m_thumb->setFixedHeight(220);
        m_thumb->setPath(m_path);
        column->addWidget(new PreviewBox(14, 0, 0.055, 0, m_thumb, this));
        QWidget* stored = makeStoredCopyBlock(m_path, this);
        m_storedPath = stored->findChild<StoredCopyPathLabel*>();
        column->addWidget(stored);
        makeOpenButton(QStringLiteral("Open File"), [this] {
            if (m_open)
                m_open(QUrl::fromLocalFile(m_path));
        }, column, this);
    }

    bool refill(const VeskItem& item, const PreviewSectionContext& context) override
    {
        m_path = item.filePath.value_or(QString());
        m_open = context.open;
        m_thumb->setPath(m_path);
        m_storedPath->setPath(m_path);
        relayoutUpTo(m_storedPath, this);
        return true;
    }

private:
    QuickLookThumb* m_thumb = nullptr;
    StoredCopyPathLabel* m_storedPath = nullptr;
    QString m_path;
    std::function<void(const QUrl&)> m_open;
};

} // namespace

PreviewBox::PreviewBox(qreal radius, qreal fillOpacity, qreal outlineOpacity, int margin, QWidget* content,
    QWidget* parent)
    : QFrame(parent)
    , m_radius(radius)
    , m_fillOpacity(fillOpacity)
    , m_outlineOpacity(outlineOpacity)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(content);
}

void PreviewBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const Theme& theme = Theme::current();
    const QColor fill = m_fillOpacity > 0 ? theme.primary(m_fillOpacity) : QColor(Qt::transparent);
    const QColor outline = m_outlineOpacity > 0 ? theme.primary(m_outlineOpacity) : QColor(Qt::transparent);
    // The box is painted again for each change inside it: from its cached corners and edges.
    Painting::drawFramedBox(painter, rect(), m_radius, 0.5, 1, fill, outline, QStringLiteral("previewBox"));
}

QLabel* makeSectionTitle(const QString& text, QWidget* parent)
{
    QFont font = Theme::font(TextStyle::Caption);
    font.setWeight(QFont::DemiBold);
    auto* label = makeLabel(text, font, Theme::current().tertiary(), parent);
    label->setObjectName(QStringLiteral("previewSectionTitle"));
    return label;
}

QWidget* makeStoredCopyBlock(const QString& path, QWidget* parent)
{
    auto* block = new QWidget(parent);
    block->setObjectName(QStringLiteral("previewStoredCopy"));
    auto* column = makeColumn(block, 3);
    const Theme& theme = Theme::current();
    auto* caption = new QWidget(block);
    auto* captionRow = new QHBoxLayout(caption);
    captionRow->setContentsMargins(0, 0, 0, 0);
    captionRow->setSpacing(4);
    QFont captionFont = Theme::font(TextStyle::Caption2);
    captionFont.setWeight(QFont::DemiBold);
    captionRow->addWidget(makeLabel(QStringLiteral("Stored copy"), captionFont, theme.tertiary(), caption));
    auto* label = new StoredCopyPathLabel(path, block);
    auto* copy = new QPushButton(caption);
    copy->setObjectName(QStringLiteral("previewCopyPath"));
    copy->setProperty("veskRole", "plain");
    copy->setIcon(paneSymbolIcon(QStringLiteral("doc.on.doc"), theme.tertiary(), 11));
    copy->setIconSize(QSize(11, 11));
    copy->setToolTip(QStringLiteral("Copy Path"));
    copy->setCursor(Qt::PointingHandCursor);
    QObject::connect(copy, &QPushButton::clicked, label, &StoredCopyPathLabel::copyPath);
    captionRow->addWidget(copy);
    captionRow->addStretch(1);
    column->addWidget(caption);
    label->setFont(Theme::font(10.5));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, theme.secondary());
    label->setPalette(palette);
    column->addWidget(label);
    return block;
}

PreviewDateRowsBlock::PreviewDateRowsBlock(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("previewDateRows"));
    makeColumn(this, 6);
}

void PreviewDateRowsBlock::setRows(const QList<PreviewDateRow>& rows)
{
    // Rows are kept from item to item, the surplus hidden: a row made or deleted as the count
    // changes was styled anew each time and, added to a shown block, showed only a turn later,
    // painting the dates twice.
    while (m_rows.size() < rows.size()) {
        QFont labelFont = Theme::font(TextStyle::Caption2);
        labelFont.setWeight(QFont::DemiBold);
        auto* entry = new QWidget(this);
        auto* entryColumn = makeColumn(entry, 2);
        QLabel* label = makeLabel(QString(), labelFont, Theme::current().tertiary(), entry);
        QLabel* date = makeLabel(QString(), Theme::font(TextStyle::Caption), Theme::current().secondary(), entry);
        entryColumn->addWidget(label);
        entryColumn->addWidget(date);
        layout()->addWidget(entry);
        m_rows.append({entry, label, date});
    }
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows.at(i);
        const bool used = i < rows.size();
        if (used) {
            const QString date = previewDateText(rows.at(i).date);
            if (row.label->text() != rows.at(i).label)
                row.label->setText(rows.at(i).label);
            if (row.date->text() != date)
                row.date->setText(date);
        }
        if (row.entry->isHidden() == used)
            row.entry->setVisible(used);
    }
}

PreviewDateRowsBlock* makeDateRows(const QList<PreviewDateRow>& rows, QWidget* parent)
{
    auto* block = new PreviewDateRowsBlock(parent);
    block->setRows(rows);
    return block;
}

std::optional<QUrl> openableLink(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    // A kept link came from outside: "javascript:", "file:" or "smb:" must not run or reach
    // anything from a click on "Open Link".
    static const QStringList allowed{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                     QStringLiteral("ftp")};
    if (!allowed.contains(url.scheme().toLower()))
        return std::nullopt;
    return url;
}

QWidget* makePreviewSection(PreviewSection section, const VeskItem& item, const PreviewSectionContext& context,
    QWidget* parent)
{
    switch (section) {
    case PreviewSection::Image: return new ImageSection(item, context, parent);
    case PreviewSection::Text: return new TextSection(item, context, parent);
    case PreviewSection::Link: return new LinkSection(item, context, parent);
    case PreviewSection::File: return new FileSection(item, context, parent);
    case PreviewSection::Video: return new VideoSection(item, context, parent);
    case PreviewSection::Audio: return makeAudioSection(item, context, parent);
    case PreviewSection::PhotoNote: return new VeskPhotoNotePreview(item, context, parent);
    case PreviewSection::Activity: return new VeskActivityPreview(item, context, parent);
    case PreviewSection::Secure:
        // Until its view is provided, the stored file can at least be seen and opened.
        return item.filePath ? new FileSection(item, context, parent) : nullptr;
    case PreviewSection::None: return nullptr;
    }
    return nullptr;
}

} // namespace vesk
