#include "platform/preview/MediaProbe.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vesk {

bool mediaFileOpens(const QString& path)
{
    AVFormatContext* format = nullptr;
    const QByteArray encoded = QFile::encodeName(path);
    if (avformat_open_input(&format, encoded.constData(), nullptr, nullptr) < 0)
        return false;
    bool found = false;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        for (unsigned index = 0; index < format->nb_streams && !found; ++index) {
            const AVMediaType type = format->streams[index]->codecpar->codec_type;
            found = type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
        }
    }
    avformat_close_input(&format);
    return found;
}

} // namespace vesk
