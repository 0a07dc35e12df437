#pragma once
// The files of a wider use of the window than notes: photographs of a phone's size, PDF documents
// of several pages and short videos, made once per run for the library to import.

#include <QString>
#include <QStringList>

namespace vesk::bench {

struct UseMedia {
    QStringList photos;
    QStringList documents;
    QStringList videos; // none when ffmpeg cannot be run
};

// Makes them in folder: photos of 4032 by 3024 pixels, PDFs of six pages of text with a picture,
// videos of six to ten seconds at 1280 by 720.
UseMedia makeUseMedia(const QString& folder, int photos, int documents, int videos);

} // namespace vesk::bench
