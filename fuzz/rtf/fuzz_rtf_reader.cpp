// Feeds arbitrary bytes to the RTF reader. Besides crashes, hangs and runaway memory, it checks that
// what the reader accepts is written back stably: write(read(write(x))) == write(x), both for the
// neutral form and through a QTextDocument.
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"
#include "richtext/RtfWriter.h"

#include <QGuiApplication>
#include <QColor>
#include <QTextDocument>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    vesk::RtfReaderLimits limits;
    limits.maxTextLength = 64 * 1024;
    const std::optional<vesk::RtfContent> content = vesk::parseRtf(input, limits);
    if (!content)
        return 0;

    const QByteArray first = vesk::writeRtf(*content, QStringLiteral("Sys"));
    const std::optional<vesk::RtfContent> reread = vesk::parseRtf(first);
    if (!reread) {
        std::fprintf(stderr, "written RTF was not accepted by the reader\n");
        std::abort();
    }
    const QByteArray second = vesk::writeRtf(*reread, QStringLiteral("Sys"));
    if (first != second) {
        std::fprintf(stderr, "unstable round trip:\n%s\n----\n%s\n", first.constData(), second.constData());
        std::abort();
    }

    auto document = vesk::makeRichTextDocument();
    vesk::fillDocument(*document, *content);
    const QByteArray viaDocument = vesk::documentToRtf(*document);
    auto again = vesk::documentFromRtf(viaDocument);
    if (!again || vesk::documentToRtf(*again) != viaDocument) {
        std::fprintf(stderr, "unstable round trip through a document\n");
        std::abort();
    }

    // The path every stored or pasted body takes: read for editing, links, glyphs, written again.
    std::unique_ptr<QTextDocument> editable = vesk::editableAttributedString(input, QString());
    vesk::runDisplayPass(*editable, QColor(Qt::blue), vesk::DisplayPassMode::Editing);
    (void)vesk::makeRTFData(*editable);
    return 0;
}
