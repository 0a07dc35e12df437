#pragma once

#include "pane/PreviewKindDecision.h"
#include "model/VeskItem.h"
#include "platform/Expected.h"
#include "pane/WrappingText.h"

#include <QFrame>
#include <QLabel>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QPushButton;
class QVBoxLayout;

namespace vesk {

struct ImageCaches;
class AudioBackend;
class Settings;

// A content box of the preview: continuous-corner rounded rectangle with a faint fill and/or
// outline of the primary colour, holding one child with an inner margin.
class PreviewBox : public QFrame {
    Q_OBJECT
public:
    PreviewBox(qreal radius, qreal fillOpacity, qreal outlineOpacity, int margin, QWidget* content,
        QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_radius;
    qreal m_fillOpacity;
    qreal m_outlineOpacity;
};

// What the sections need from their host.
struct PreviewSectionContext {
    // The item's stored rich text, when it has some.
    std::optional<QByteArray> richText;
    // Opens a file or link in its default application.
    std::function<void(const QUrl&)> open;
    // Called with the new RTF when a checklist or radio glyph is toggled in the read view.
    std::function<void(const QByteArray&)> richTextChanged;
    const ImageCaches* caches = nullptr;
    // The user defaults (the chosen video moment length).
    std::shared_ptr<Settings> settings;
    // Keeps an exported clip as a new item derived from the shown one; when it could not, why
    // in plain words ("the disk is full"), or empty when there is nothing to say.
    std::function<Expected<VeskItem, QString>(const QString& clipPath, double centreSeconds)> saveVideoMoment;
    // The player behind audio sections; the system's when empty.
    std::function<std::unique_ptr<AudioBackend>()> audioBackend;
};

// A body section that shows another item of its kind by taking its values, rather than being
// made again for it.
class RefillableSection : public QWidget {
public:
    using QWidget::QWidget;
    // Shows item instead of the one shown, with nothing of that one left in sight (text, its
    // selection, a picture); false when this section cannot show it, and it is then made anew.
    virtual bool refill(const VeskItem& item, const PreviewSectionContext& context) = 0;
    // Whether it holds a view made for its item that refill never takes over (a long or a rich
    // text's): kept for nothing once the item is no longer shown.
    virtual bool madeForItsItem() const { return false; }
};

// The date rows under the pane's content, one caption and date per row.
class PreviewDateRowsBlock : public QWidget {
public:
    explicit PreviewDateRowsBlock(QWidget* parent = nullptr);
    void setRows(const QList<PreviewDateRow>& rows);

private:
    struct Row {
        QWidget* entry;
        QLabel* label;
        QLabel* date;
    };
    QList<Row> m_rows;
};

// The caption-sized, semibold, tertiary title over a section.
QLabel* makeSectionTitle(const QString& text, QWidget* parent = nullptr);
// "Stored copy" over the managed copy's path.
QWidget* makeStoredCopyBlock(const QString& path, QWidget* parent = nullptr);
// The date rows under the pane's content.
PreviewDateRowsBlock* makeDateRows(const QList<PreviewDateRow>& rows, QWidget* parent = nullptr);

// The body section for the item, or null when the item shows nothing there.
QWidget* makePreviewSection(PreviewSection section, const VeskItem& item, const PreviewSectionContext& context,
    QWidget* parent = nullptr);

// A link opens only when its text is an http, https, mailto or ftp URL; anything else (a script,
// a file, a network share, text that is no URL) does nothing.
std::optional<QUrl> openableLink(const QString& text);

} // namespace vesk
