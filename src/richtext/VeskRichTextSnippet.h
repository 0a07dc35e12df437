#pragma once
// A card's glimpse of a stored rich-text body: the text with its formatting, not editable, clipped
// to a number of lines.

#include <QByteArray>
#include <QWidget>
#include <memory>

class QTextDocument;

namespace vesk {

// The height of the first `maximumLines` laid-out lines of a document at its current width.
qreal heightOfFirstLines(QTextDocument& document, int maximumLines);

class VeskRichTextSnippet : public QWidget {
    Q_OBJECT

public:
    explicit VeskRichTextSnippet(QWidget* parent = nullptr);
    VeskRichTextSnippet(const QByteArray& rtfData, int maximumLines, QWidget* parent = nullptr);
    ~VeskRichTextSnippet() override;

    void setRtfData(const QByteArray& rtfData);
    void setMaximumLines(int maximumLines);
    int maximumLines() const { return m_maximumLines; }
    // The text the snippet holds: the beginning of the body, as much as its lines can show.
    QString plainText() const;

    // More characters than a line of a card can hold at the smallest text size.
    static constexpr int kCharactersPerLine = 400;

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void load();
    void applyPalette();

    std::unique_ptr<QTextDocument> m_document;
    QByteArray m_rtf;
    int m_maximumLines = 2;
    int m_loadedLines = 0;
};

} // namespace vesk
