#pragma once
// The read-only view of a stored rich-text body (RTF bytes) in the preview pane. A click on a
// checkbox or radio glyph toggles it and reports the new RTF to the owner, who stores it; a click on
// a web or mail link opens it with the desktop. Hovering a glyph shows the arrow, a link the
// pointing hand, text the I-beam.

#include <QByteArray>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>
#include <QWidget>

class QTimer;
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

struct LinkHit {
    QString href;
    int index = 0;  // the first character of the link run under the point
    bool isChecklistGlyph = false;
};

// The link under a point in document coordinates. Glyph links count 6 points to either side and
// 4 above and below their glyph, so the small target is easy to hit.
std::optional<LinkHit> linkHitAt(const QTextDocument& document, const QPointF& documentPoint);
Qt::CursorShape cursorShapeFor(const std::optional<LinkHit>& hit);

// The text edit inside the read view: its hover cursor and link clicks.
class VeskChecklistTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit VeskChecklistTextView(QWidget* parent = nullptr);

    std::optional<LinkHit> hitAt(const QPoint& viewportPoint) const;

signals:
    // Answered through `handled`: a handled click does not reach the text edit.
    void linkClicked(const QString& href, int index, bool* handled);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPoint m_pressPoint;
    bool m_pressOnLink = false;
};

// A body made ready to show: read, links found, glyphs styled, link colours set. Made off the main
// thread for long bodies; the document then belongs to the main thread.
struct DisplayedBody {
    std::shared_ptr<QTextDocument> document;  // none when the bytes held no text
    bool truncated = false;                   // the reader stopped before the end of the body
};
DisplayedBody prepareDisplayedBody(const QByteArray& rtf, const QColor& linkColor);

class VeskRichTextReadView : public QWidget {
    Q_OBJECT

public:
    using RTFChangeHandler = std::function<void(const QByteArray&)>;
    using LinkOpener = std::function<void(const QUrl&)>;

    // Bodies up to this many bytes are read at once; longer ones are read on a worker thread and
    // shown when ready, so the window never waits for them. The same holds for writing a body
    // of more than kSynchronousCharacters after a glyph was clicked.
    static constexpr qsizetype kSynchronousBytes = 256 * 1024;
    static constexpr int kSynchronousCharacters = 64 * 1024;
    // The text view lays a new document out in steps that grow to hundreds of milliseconds. A
    // body longer than this many characters is put on screen a piece of about this length at a
    // time, one per turn of the event loop, and each piece is laid out as it comes.
    static constexpr int kShownPieceCharacters = 4096;

    explicit VeskRichTextReadView(QWidget* parent = nullptr);
    ~VeskRichTextReadView() override;

    // Shows the body. Bytes that do not read as rich text, or read as nothing, leave the view as
    // it was; the view reloads only when the text differs from what it shows.
    void setRtfData(const QByteArray& rtf);
    void setOnRTFChange(RTFChangeHandler handler) { m_onRTFChange = std::move(handler); }
    // How links are opened (the desktop's handler unless replaced).
    void setLinkOpener(LinkOpener opener) { m_linkOpener = std::move(opener); }

    // A click on the link `href` at character `index`; true when handled.
    bool handleLinkClick(const QString& href, int index);

    VeskChecklistTextView* textView() const { return m_textView; }
    // Whether a body is on its way from a worker.
    bool isLoading() const { return m_loading; }
    // Whether a long body is still coming onto the screen a piece at a time.
    bool isFilling() const { return m_source != nullptr; }
    // Whether the shown body was cut short by the reader's limits: its glyphs then cannot change,
    // since the stored body would be replaced by its beginning.
    bool isTruncated() const { return m_truncated; }

signals:
    // A body was put on screen (also after a read on a worker).
    void bodyShown();

private:
    void present(const DisplayedBody& body, const QByteArray& rtf);
    void appendSourcePiece(QTextDocument& shown);
    void stopFilling();
    void reportChange();

    VeskChecklistTextView* m_textView = nullptr;
    RTFChangeHandler m_onRTFChange;
    LinkOpener m_linkOpener;
    std::shared_ptr<QTextDocument> m_document;
    // The whole of a long body while it comes onto the screen, and its first block not shown yet.
    std::shared_ptr<QTextDocument> m_source;
    QTextBlock m_nextSourceBlock;
    QTimer* m_fill = nullptr;
    QByteArray m_shownRtf;
    quint64 m_loadGeneration = 0;
    quint64 m_changeGeneration = 0;
    bool m_loading = false;
    bool m_truncated = false;
};

} // namespace vesk
