#include "media/MediaDuration.h"

#include <QFile>
#include <cmath>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vesk {

std::optional<double> mediaDurationSeconds(const QString& path)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    const auto close = [](AVFormatContext* context) { avformat_close_input(&context); };
    std::unique_ptr<AVFormatContext, decltype(close)> input(raw, close);
    if (input->duration == AV_NOPTS_VALUE && avformat_find_stream_info(input.get(), nullptr) < 0)
        return std::nullopt;
    if (input->duration == AV_NOPTS_VALUE)
        return std::nullopt;
    const double seconds = double(input->duration) / AV_TIME_BASE;
    if (!std::isfinite(seconds) || seconds < 0)
        return std::nullopt;
    return seconds;
}

} // namespace vesk
