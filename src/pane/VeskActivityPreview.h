#pragma once
// The preview of an activity sent from the phone: header card, metadata, notes, the timeline of
// its events (or the photos of its media folder) and a button that shows the package. The
// package's managed copy is read on a worker each time the preview is made.

#include "intake/PackagePreviewData.h"
#include "model/VeskItem.h"
#include "pane/PreviewSections.h"

#include <QWidget>

class QVBoxLayout;

namespace vesk {

class VeskActivityPreview : public QWidget {
    Q_OBJECT
public:
    VeskActivityPreview(const VeskItem& item, PreviewSectionContext context, QWidget* parent = nullptr);

    // Between the preview's content and its trailing edge.
    static constexpr int kTrailingInset = 4;

    bool packageLoaded() const { return m_loaded; }
    const VeskActivityPackageData& packageData() const { return m_data; }

signals:
    void packageLoadedChanged();

protected:
    void changeEvent(QEvent* event) override;

private:
    void keepTrailingInset();
    void present(const VeskActivityPackageData& data);
    void rebuildBody();

    VeskItem m_item;
    PreviewSectionContext m_context;
    VeskActivityPackageData m_data;
    bool m_loaded = false;
    QWidget* m_loadingRow = nullptr;
    // Metadata, notes and timeline or photos: remade when the package arrives.
    QWidget* m_body = nullptr;
    QVBoxLayout* m_column = nullptr;
};

// One timeline entry: the event's symbol, title and time, and what it captured.
QWidget* makeActivityTimelineEventRow(const VeskActivityTimelineEvent& event, const PreviewSectionContext& context,
                                      QWidget* parent = nullptr);

} // namespace vesk
