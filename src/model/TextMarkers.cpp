#include "model/TextMarkers.h"

#include "model/ItemFileKinds.h"

#include <QMutex>

#include <deque>

namespace vesk {

namespace {

// Shorter texts are read in well under a millisecond each time.
constexpr qsizetype kRememberedLength = 100'000;
constexpr size_t kRemembered = 16;

struct Remembered {
    // Holding the buffer keeps it from being changed in place or reused for another text: a text
    // edited since has a buffer of its own and is read again.
    ItemText text;
    TextMarkers markers;
};

// The markers are ASCII, and a UTF-8 byte sequence is found in valid UTF-8 only where the
// character sequence is: the bytes are searched without a decode.
TextMarkers read(const ItemText& text)
{
    const QByteArray& bytes = text.utf8();
    return {bytes.contains(kSecureSecretMarkerText), bytes.contains(kSecureCreditCardMarkerText),
            bytes.contains(kHtmlSourceMarker)};
}

} // namespace

TextMarkers textMarkers(const ItemText& searchableText)
{
    if (searchableText.size() < kRememberedLength)
        return read(searchableText);
    static QMutex mutex;
    static std::deque<Remembered> remembered;
    {
        const QMutexLocker lock(&mutex);
        for (const Remembered& entry : remembered) {
            if (entry.text.isSharedWith(searchableText))
                return entry.markers;
        }
    }
    const TextMarkers markers = read(searchableText);
    const QMutexLocker lock(&mutex);
    remembered.push_front({searchableText, markers});
    if (remembered.size() > kRemembered)
        remembered.pop_back();
    return markers;
}

} // namespace vesk
