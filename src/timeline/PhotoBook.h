#pragma once

#include "platform/Expected.h"
#include "timeline/VeskTimelinePhoto.h"

#include <QImage>
#include <QList>
#include <QString>

namespace vesk {

// Why a photo book was not written. The destination is left as it was in every case.
struct PhotoBookFailure {
    enum class Kind {
        // A photograph gave no picture; `detail` is the item's title.
        UnreadablePhoto,
        // The temporary file beside the destination could not be created.
        CannotOpenFile,
        // Writing the book or moving it into place failed; `detail` is the system's message.
        FileSystem,
    };
    Kind kind = Kind::CannotOpenFile;
    QString detail;

    // The text the user is shown.
    QString description() const;
};

// What one export writes, fixed when it starts: later changes to the timeline do not reach it.
struct VeskTimelineExportJob {
    QList<VeskTimelinePhoto> photos;
    QString name;
    QString destination;
};

// The picture of one page: the item's file, upright, at most 2800 pixels on its longer side; a
// null image without a file or when it cannot be decoded.
QImage preparePhotoBookImage(const VeskItem& item);

// Writes the photo book to `destination`: a title page, then one US Letter page per photo in the
// given order with its date, the picture fitted to the page, its title and a numbered footer.
// The book is written to a hidden temporary file beside the destination and renamed over it only
// when every page was drawn and the file is on disk; on failure the temporary file is removed and
// an existing destination stays byte-identical. Runs off the main thread; reads each picture
// once and lets it go after its page.
[[nodiscard]] Expected<void, PhotoBookFailure> writePhotoBook(const QList<VeskTimelinePhoto>& photos,
                                                              const QString& name, const QString& destination,
                                                              const PhotoDateLookup& photoDate);

} // namespace vesk
