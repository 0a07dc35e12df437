#pragma once
// The intake notice while a large file is being imported: the file's name, how much of it is
// copied, a bar that fills as it goes, and a button that cancels the import. It stays until the
// import ends (or another intake notice takes its place).

#include "app/ActionNoticeCard.h"
#include "model/VeskNotices.h"

namespace vesk {

class ImportProgressView : public ActionNoticeCard {
    Q_OBJECT
public:
    explicit ImportProgressView(const VeskImportProgress& progress, QWidget* parent = nullptr);

    const VeskImportProgress& progress() const { return m_progress; }
    // A newer state of the same import, shown in place.
    void setProgress(const VeskImportProgress& progress);

    // "Importing “Holiday.mov”" and "120 MB of 1.1 GB".
    static QString titleText(const VeskImportProgress& progress);
    static QString detailText(const VeskImportProgress& progress);
    // 0...1.
    static double fraction(const VeskImportProgress& progress);

    // Where the count and the bar are painted: all that a newer state of the same file changes.
    QRect progressRect() const;

    QAbstractButton* cancelButton() const { return closeButton(); }
    QSize sizeHint() const override;

signals:
    void cancelRequested(const QUuid& importID);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VeskImportProgress m_progress;
};

} // namespace vesk
