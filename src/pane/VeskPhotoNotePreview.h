#pragma once
// The preview of a note sent from the phone with photos: its text, then each attached photo
// with its name and an "Open Photo" button. The package is read and the photos decoded on a
// worker; only attachments that stay inside the package are shown.

#include "model/VeskItem.h"
#include "pane/PreviewSections.h"

#include <QImage>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace vesk {

class VeskPhotoNotePreview : public QWidget {
    Q_OBJECT
public:
    VeskPhotoNotePreview(const VeskItem& item, PreviewSectionContext context, QWidget* parent = nullptr);

    struct Photo {
        QString path;
        // Null when the file does not decode as a picture: it is counted but shows no card.
        QImage image;
    };
    bool isLoaded() const { return m_loaded; }
    const QList<Photo>& photos() const { return m_photos; }

signals:
    void photosLoaded();

private:
    void present(const QList<Photo>& photos);

    PreviewSectionContext m_context;
    QList<Photo> m_photos;
    bool m_loaded = false;
    QLabel* m_count = nullptr;
    QVBoxLayout* m_column = nullptr;
};

} // namespace vesk
