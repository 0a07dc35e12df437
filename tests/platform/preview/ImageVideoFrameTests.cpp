#include "common/TestEnvironment.h"
#include "platform/preview/FileThumbnailer.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

using namespace vesk;

namespace {

struct Yuv {
    uint8_t y, u, v;
};

Yuv toYuv(int r, int g, int b)
{
    return {uint8_t(0.299 * r + 0.587 * g + 0.114 * b), uint8_t(-0.169 * r - 0.331 * g + 0.5 * b + 128),
        uint8_t(0.5 * r - 0.419 * g - 0.081 * b + 128)};
}

void drain(AVCodecContext* codec, AVFormatContext* format, AVStream* stream, AVPacket* packet)
{
    while (avcodec_receive_packet(codec, packet) == 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        av_interleaved_write_frame(format, packet);
    }
}

// Writes a short MPEG-4 video whose left half is red and right half blue; `rotation` is the
// clockwise turn a player must apply (stored as the container's display matrix).
bool writeVideo(const QString& path, int width, int height, int rotation)
{
    const QByteArray file = QFile::encodeName(path);
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, nullptr, file.constData()) < 0)
        return false;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVStream* stream = avformat_new_stream(format, nullptr);
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    codec->width = width;
    codec->height = height;
    codec->time_base = {1, 10};
    codec->framerate = {10, 1};
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->gop_size = 5;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    bool ok = avcodec_open2(codec, encoder, nullptr) >= 0;
    ok = ok && avcodec_parameters_from_context(stream->codecpar, codec) >= 0;
    stream->time_base = codec->time_base;
    if (ok && rotation != 0) {
        auto* matrix = reinterpret_cast<int32_t*>(
            av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
        // Set takes the clockwise angle; reading it back gives the counter-clockwise one.
        av_display_rotation_set(matrix, rotation);
    }
    ok = ok && avio_open(&format->pb, file.constData(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(format, nullptr) >= 0;

    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    frame->format = codec->pix_fmt;
    frame->width = width;
    frame->height = height;
    ok = ok && av_frame_get_buffer(frame, 0) >= 0;
    const Yuv red = toYuv(220, 20, 20);
    const Yuv blue = toYuv(20, 20, 220);
    for (int index = 0; ok && index < 20; ++index) {
        av_frame_make_writable(frame);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame->data[0][y * frame->linesize[0] + x] = (x < width / 2 ? red : blue).y;
        for (int y = 0; y < height / 2; ++y) {
            for (int x = 0; x < width / 2; ++x) {
                const Yuv& colour = x < width / 4 ? red : blue;
                frame->data[1][y * frame->linesize[1] + x] = colour.u;
                frame->data[2][y * frame->linesize[2] + x] = colour.v;
            }
        }
        frame->pts = index;
        ok = avcodec_send_frame(codec, frame) >= 0;
        drain(codec, format, stream, packet);
    }
    if (ok) {
        avcodec_send_frame(codec, nullptr);
        drain(codec, format, stream, packet);
        ok = av_write_trailer(format) >= 0;
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (format->pb)
        avio_closep(&format->pb);
    avformat_free_context(format);
    return ok;
}

bool isReddish(QRgb pixel)
{
    return qRed(pixel) > 150 && qBlue(pixel) < 100;
}

bool isBluish(QRgb pixel)
{
    return qBlue(pixel) > 150 && qRed(pixel) < 100;
}

} // namespace

TEST(FileThumbnailer, TakesAnUprightFrameFromAVideo)
{
    const QString folder = test::makeTempDirectory();
    const QString landscape = QDir(folder).filePath("clip.mp4");
    ASSERT_TRUE(writeVideo(landscape, 160, 96, 0));
    const FileThumbnail thumb = FileThumbnailer::thumbnail(landscape, QSize(80, 80));
    ASSERT_FALSE(thumb.isIcon());
    EXPECT_EQ(thumb.image.size(), QSize(80, 48));
    EXPECT_TRUE(isReddish(thumb.image.pixel(10, 24)));
    EXPECT_TRUE(isBluish(thumb.image.pixel(70, 24)));

    // Filmed upright on a phone: stored sideways with a quarter-turn display matrix.
    const QString portrait = QDir(folder).filePath("upright.mp4");
    ASSERT_TRUE(writeVideo(portrait, 160, 96, 90));
    const QImage frame = FileThumbnailer::videoFrame(portrait, QSize(80, 80));
    ASSERT_EQ(frame.size(), QSize(48, 80));
    EXPECT_TRUE(isReddish(frame.pixel(24, 10)));
    EXPECT_TRUE(isBluish(frame.pixel(24, 70)));

    // A truncated file gives no frame, and the thumbnail falls back to the icon.
    QFile whole(landscape);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray head = whole.read(300);
    QFile cut(QDir(folder).filePath("cut.mp4"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(head);
    cut.close();
    EXPECT_TRUE(FileThumbnailer::thumbnail(cut.fileName(), QSize(80, 80)).isIcon());
}
