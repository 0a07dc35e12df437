#include "media/VideoMoment.h"

#include "platform/Uuid.h"
#include "platform/WorkPool.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <QtConcurrent>

#include <cmath>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
}

namespace vesk {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context && context->pb && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

struct RemuxFailure {
    // The container would not take the streams: another container may.
    bool containerRefused = false;
    QString message;
};

Unexpected<RemuxFailure> refused()
{
    return unexpected(RemuxFailure{true, kNoSupportedOutputType});
}

// What a muxer answers for streams it cannot hold, as against a file it cannot write.
bool isContainerRefusal(int code)
{
    return code == AVERROR(EINVAL) || code == AVERROR(ENOSYS) || code == AVERROR_PATCHWELCOME
        || code == AVERROR_INVALIDDATA || code == AVERROR_BUG || code == AVERROR_EXPERIMENTAL;
}

Unexpected<RemuxFailure> failed(const QString& message)
{
    return unexpected(RemuxFailure{false, message});
}

Expected<QString, RemuxFailure> remux(AVFormatContext* input, const VideoMomentWindow& window,
                                      const AVOutputFormat* format, const QString& outputPath)
{
    AVFormatContext* rawOutput = nullptr;
    const QByteArray encodedPath = QFile::encodeName(outputPath);
    if (avformat_alloc_output_context2(&rawOutput, format, nullptr, encodedPath.constData()) < 0 || !rawOutput)
        return failed(kCouldNotCreateExporter);
    std::unique_ptr<AVFormatContext, OutputCloser> output(rawOutput);

    // Only picture and sound travel; subtitle and data tracks often do not fit the container.
    std::vector<int> mapping(input->nb_streams, -1);
    int videoStream = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* in = input->streams[i];
        const AVMediaType type = in->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (type == AVMEDIA_TYPE_VIDEO && (in->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        AVStream* out = avformat_new_stream(output.get(), nullptr);
        if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            return failed(kCouldNotCreateExporter);
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        mapping[i] = out->index;
        if (type == AVMEDIA_TYPE_VIDEO && videoStream < 0)
            videoStream = int(i);
    }
    if (output->nb_streams == 0)
        return refused();

    if (!(format->flags & AVFMT_NOFILE)) {
        const int opened = avio_open(&output->pb, encodedPath.constData(), AVIO_FLAG_WRITE);
        if (opened < 0)
            return failed(QStringLiteral("Vesk could not write the video moment: ") + ffmpegError(opened));
    }
    // A container that cannot hold one of the streams says so when its header is written; any
    // other failure there (a full disk, a failing one) is the system's to name.
    const int header = avformat_write_header(output.get(), nullptr);
    if (header < 0) {
        if (isContainerRefusal(header) && !(output->pb && output->pb->error < 0))
            return refused();
        return failed(QStringLiteral("Vesk could not write the video moment: ")
                      + ffmpegError(output->pb && output->pb->error < 0 ? output->pb->error : header));
    }

    // Reading starts at the key frame at or before the window: the frames from there to the
    // window's start are needed to decode it. They keep their timestamps relative to the window
    // (negative ones), so the muxer writes an edit list that starts playback exactly at the
    // window's start and a player never shows them.
    const int64_t startMicros = int64_t(window.start * AV_TIME_BASE);
    const int64_t endMicros = int64_t((window.start + window.length) * AV_TIME_BASE);
    if (startMicros > 0)
        av_seek_frame(input, -1, startMicros, AVSEEK_FLAG_BACKWARD);

    bool videoOpened = videoStream < 0;
    bool videoDone = false;
    // Video packets shown after the window are held back: one is written only when a later
    // packet that is shown inside the window needs it to be decoded (a frame it refers to).
    std::vector<std::unique_ptr<AVPacket, PacketFree>> heldBack;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    const auto write = [&](AVPacket* item) -> int {
        const int source = item->stream_index;
        const AVStream* in = input->streams[source];
        AVStream* out = output->streams[mapping[source]];
        const int64_t offset = av_rescale_q(startMicros, AV_TIME_BASE_Q, in->time_base)
            + (in->start_time != AV_NOPTS_VALUE ? in->start_time : 0);
        if (item->pts != AV_NOPTS_VALUE)
            item->pts -= offset;
        if (item->dts != AV_NOPTS_VALUE)
            item->dts -= offset;
        av_packet_rescale_ts(item, in->time_base, out->time_base);
        item->stream_index = out->index;
        item->pos = -1;
        return av_interleaved_write_frame(output.get(), item);
    };
    while (true) {
        const int read = av_read_frame(input, packet.get());
        if (read == AVERROR_EOF)
            break;
        if (read < 0)
            return failed(QStringLiteral("Vesk could not read the video: ") + ffmpegError(read));
        const int source = packet->stream_index;
        if (source < 0 || source >= int(mapping.size()) || mapping[source] < 0) {
            av_packet_unref(packet.get());
            continue;
        }
        const AVStream* in = input->streams[source];
        const int64_t timestamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const int64_t streamStart = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
        const int64_t micros =
            timestamp == AV_NOPTS_VALUE ? 0 : av_rescale_q(timestamp - streamStart, in->time_base, AV_TIME_BASE_Q);
        if (source != videoStream) {
            // Sound is cut to the window itself; every sound packet decodes on its own.
            const bool inside = micros >= startMicros && micros < endMicros;
            if (inside && videoOpened) {
                const int written = write(packet.get());
                av_packet_unref(packet.get());
                if (written < 0)
                    return failed(QStringLiteral("Vesk could not write the video moment: ") + ffmpegError(written));
            } else {
                av_packet_unref(packet.get());
            }
            // Every stream has passed the end once the reader is past it by a second.
            if (micros > endMicros + AV_TIME_BASE && (videoStream < 0 || videoDone))
                break;
            continue;
        }
        if (videoDone) {
            av_packet_unref(packet.get());
            continue;
        }
        if (!videoOpened) {
            // The clip opens on a key frame, or nothing before the next one could be decoded.
            if (!(packet->flags & AV_PKT_FLAG_KEY)) {
                av_packet_unref(packet.get());
                continue;
            }
            videoOpened = true;
        }
        if (micros >= endMicros) {
            // A key frame past the end starts pictures nothing inside the window refers to.
            if ((packet->flags & AV_PKT_FLAG_KEY) || micros > endMicros + AV_TIME_BASE) {
                av_packet_unref(packet.get());
                heldBack.clear();
                videoDone = true;
                continue;
            }
            heldBack.emplace_back(av_packet_clone(packet.get()));
            av_packet_unref(packet.get());
            continue;
        }
        for (auto& held : heldBack) {
            const int written = write(held.get());
            if (written < 0)
                return failed(QStringLiteral("Vesk could not write the video moment: ") + ffmpegError(written));
        }
        heldBack.clear();
        const int written = write(packet.get());
        av_packet_unref(packet.get());
        if (written < 0)
            return failed(QStringLiteral("Vesk could not write the video moment: ") + ffmpegError(written));
    }
    const int trailer = av_write_trailer(output.get());
    if (trailer < 0)
        return failed(QStringLiteral("Vesk could not write the video moment: ") + ffmpegError(trailer));
    return outputPath;
}

} // namespace

VideoMomentWindow videoMomentWindow(double duration, double centre, double before, double after)
{
    const double upper = duration >= 0 ? duration : 0; // NaN compares false: counts as 0
    double clamped = centre;
    if (!(clamped >= 0))
        clamped = 0;
    if (clamped > upper)
        clamped = upper;
    double start = clamped - before;
    if (!(start >= 0))
        start = 0;
    double end = clamped + after;
    if (!(end < upper))
        end = upper;
    double length = end - start;
    if (!(length >= 0.1))
        length = 0.1;
    return {start, length};
}

Expected<QString, QString> exportVideoMoment(const QString& source, double centre, double before, double after,
                                             const QString& folder)
{
    AVFormatContext* rawInput = nullptr;
    const QByteArray encoded = QFile::encodeName(source);
    const int opened = avformat_open_input(&rawInput, encoded.constData(), nullptr, nullptr);
    if (opened < 0)
        return unexpected(QStringLiteral("Vesk could not open the video: ") + ffmpegError(opened));
    std::unique_ptr<AVFormatContext, InputCloser> input(rawInput);
    const int probed = avformat_find_stream_info(input.get(), nullptr);
    if (probed < 0)
        return unexpected(QStringLiteral("Vesk could not read the video: ") + ffmpegError(probed));

    const double duration = input->duration == AV_NOPTS_VALUE ? 0.0 : double(input->duration) / AV_TIME_BASE;
    const VideoMomentWindow window = videoMomentWindow(duration, centre, before, after);

    const QString directory = folder.isEmpty() ? QDir::tempPath() : folder;
    // QuickTime first, MPEG-4 when the streams do not fit it.
    for (const char* extension : {"mov", "mp4"}) {
        const AVOutputFormat* format = av_guess_format(extension, nullptr, nullptr);
        if (!format)
            continue;
        const QString output = QDir(directory).filePath(QStringLiteral("Vesk-Moment-") + uuidString(QUuid::createUuid())
                                                        + QLatin1Char('.') + QLatin1String(extension));
        QFile::remove(output);
        if (input->pb)
            av_seek_frame(input.get(), -1, 0, AVSEEK_FLAG_BACKWARD);
        Expected<QString, RemuxFailure> result = remux(input.get(), window, format, output);
        if (result)
            return result.value();
        // A half-written clip is no use to anyone: it goes.
        QFile::remove(output);
        if (!result.error().containerRefused)
            return unexpected(result.error().message);
    }
    return unexpected(kNoSupportedOutputType);
}

QFuture<Expected<QString, QString>> exportVideoMomentAsync(const QString& source, double centre, double before,
                                                           double after, const QString& folder)
{
    return QtConcurrent::run(workPool(), [=] { return exportVideoMoment(source, centre, before, after, folder); });
}

} // namespace vesk
