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

QMutex& rememberedMutex()
{
    static QMutex mutex;
    return mutex;
}

std::deque<Remembered>& remembered()
{
    static std::deque<Remembered> entries;
    return entries;
}

// A text that only this holds is one no item has any more (deleted, or edited into a new
// buffer): nothing can ask for it again, and a note of megabytes would stay in memory for it.
void forgetUnheld(std::deque<Remembered>& entries)
{
    std::erase_if(entries, [](const Remembered& entry) { return entry.text.utf8().isDetached(); });
}

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
    {
        const QMutexLocker lock(&rememberedMutex());
        for (const Remembered& entry : remembered()) {
            if (entry.text.isSharedWith(searchableText))
                return entry.markers;
        }
    }
    const TextMarkers markers = read(searchableText);
    const QMutexLocker lock(&rememberedMutex());
    std::deque<Remembered>& entries = remembered();
    forgetUnheld(entries);
    entries.push_front({searchableText, markers});
    if (entries.size() > kRemembered)
        entries.pop_back();
    return markers;
}

void forgetUnheldTextMarkers()
{
    const QMutexLocker lock(&rememberedMutex());
    forgetUnheld(remembered());
}

qsizetype rememberedTextMarkers()
{
    const QMutexLocker lock(&rememberedMutex());
    return qsizetype(remembered().size());
}

} // namespace vesk
