#include "faces/TextRecognizer.h"

#include "platform/Graphemes.h"
#include "platform/image/ImageLoader.h"
#include "platform/Log.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <dlfcn.h>
#include <memory>
#include <mutex>

namespace vesk {

namespace {

// Tesseract reads text well up to this longest side; larger photographs are scaled down first,
// which keeps a 12-megapixel picture within a second.
constexpr int kMaximumTextImageSide = 2400;

// Tesseract parallelises its LSTM steps with OpenMP, forking a team for every step; next to Vesk's
// own workers that only oversubscribes the cores, and on a busy machine the team's threads spin
// for seconds. Allowing no active parallel level makes every such region run on the calling
// thread. The OpenMP runtime comes with Tesseract's build, if at all, so it is looked up rather
// than linked; nothing else in Vesk uses OpenMP.
void keepOpenMpSerial()
{
    static const bool done = [] {
        using SetLevels = void (*)(int);
        if (const auto setLevels = reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
            setLevels(0);
        return true;
    }();
    (void)done;
}

struct TesseractDeleter {
    void operator()(tesseract::TessBaseAPI* api) const
    {
        api->End();
        delete api;
    }
};

// This thread's Tesseract, started on first use; nullptr when it cannot start.
tesseract::TessBaseAPI* threadTesseract()
{
    thread_local std::unique_ptr<tesseract::TessBaseAPI, TesseractDeleter> api;
    thread_local bool failed = false;
    if (api || failed)
        return api.get();
    keepOpenMpSerial();
    auto created = std::unique_ptr<tesseract::TessBaseAPI, TesseractDeleter>(new tesseract::TessBaseAPI);
    if (created->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        failed = true;
        static std::once_flag logged;
        std::call_once(logged, [] { veskLog(QStringLiteral("Vesk text recognition unavailable: Tesseract cannot load English")); });
        return nullptr;
    }
    created->SetVariable("debug_file", "/dev/null");
    created->SetPageSegMode(tesseract::PSM_AUTO);
    api = std::move(created);
    return api.get();
}

} // namespace

QStringList keptTextLines(const QStringList& lines)
{
    QStringList kept;
    for (QString line : lines) {
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const bool readable = std::any_of(line.cbegin(), line.cend(), [](QChar c) { return c.isLetterOrNumber(); });
        if (readable)
            kept.append(line);
    }
    return kept;
}

QString recognizeTextInImage(const QImage& image, const std::function<bool()>& cancelled)
{
    if (image.isNull())
        return {};
    tesseract::TessBaseAPI* api = threadTesseract();
    if (!api)
        return {};
    const QImage gray = downscaledImage(image, kMaximumTextImageSide).convertToFormat(QImage::Format_Grayscale8);
    if (gray.isNull())
        return {};
    api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    api->SetSourceResolution(300);
    QStringList lines;
    // No deadline: on a busy machine a page takes longer, and what it says is worth the wait.
    // Only a caller that no longer wants the text stops it.
    tesseract::ETEXT_DESC monitor;
    struct CancelContext {
        const std::function<bool()>* cancelled;
    } context{&cancelled};
    if (cancelled) {
        monitor.cancel = [](void* raw, int) { return (*static_cast<CancelContext*>(raw)->cancelled)(); };
        monitor.cancel_this = &context;
    }
    const bool finished = api->Recognize(&monitor) == 0 && !(cancelled && cancelled());
    if (finished) {
        std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
        if (it) {
            do {
                std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
                if (text)
                    lines.append(QString::fromUtf8(text.get()));
            } while (it->Next(tesseract::RIL_TEXTLINE));
        }
    }
    api->Clear();
    return leftGraphemes(keptTextLines(lines).join(QLatin1Char('\n')), kMaximumRecognisedCharacters);
}

} // namespace vesk
