#pragma once
// The managed copy's path under "Stored copy": broken into lines only after a "/", shortened in
// the middle (at folder boundaries) when it would need more lines than it has, with the whole
// path in its tooltip and a way to copy it.

#include <QLabel>
#include <QString>
#include <functional>

namespace vesk {

// The path laid out in at most `maxLines` lines of `width`, lines joined by "\n". Lines break only
// after a "/"; when the whole path does not fit, leading folders fill the first lines and the
// last line reads "…/" followed by as many trailing folders as fit and the file's name, itself
// shortened in its middle when even that is wider than a line. `measure` gives a text's width.
QString pathLines(const QString& path, qreal width, int maxLines, const std::function<qreal(const QString&)>& measure);

class StoredCopyPathLabel : public QLabel {
    Q_OBJECT
public:
    explicit StoredCopyPathLabel(const QString& path, QWidget* parent = nullptr);
    QString fullPath() const { return m_path; }
    void setPath(const QString& path);
    QSize minimumSizeHint() const override;

    static constexpr int kMaximumLines = 2;

    // Puts the whole path (never the shortened lines) on the clipboard.
    void copyPath() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void refit();
    QString m_path;
};

} // namespace vesk
