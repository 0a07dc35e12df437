#include "common/TestEnvironment.h"
#include "media/VideoMoment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vesk {
namespace {

TEST(VideoMomentWindow, KeepsTheMomentInsideTheVideo)
{
    struct Case {
        double duration, centre, before, after, start, length;
    };
    const Case cases[] = {
        {120, 30, 10, 10, 20, 20}, // the middle
        {120, 4, 10, 10, 0, 14},   // near the start
        {120, 115, 10, 10, 105, 15}, // near the end
        {6, 3, 10, 10, 0, 6},      // shorter than the moment
        {60, 75, 10, 10, 50, 10},  // a centre past the end counts as the end
        {60, -5, 10, 10, 0, 10},   // a negative centre counts as 0
        {-1, 5, 10, 10, 0, 0.1},   // an unknown duration: the shortest clip from the start
        {std::nan(""), std::nan(""), 10, 10, 0, 0.1},
    };
    for (const Case& c : cases) {
        const VideoMomentWindow window = videoMomentWindow(c.duration, c.centre, c.before, c.after);
        EXPECT_DOUBLE_EQ(window.start, c.start) << c.duration << " " << c.centre;
        EXPECT_DOUBLE_EQ(window.length, c.length) << c.duration << " " << c.centre;
    }
}

struct MediaInfo {
    double duration = -1;
    int videoStreams = 0;
    int audioStreams = 0;
    bool startsOnKeyFrame = false;
};

MediaInfo probe(const QString& path)
{
    MediaInfo info;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return info;
    avformat_find_stream_info(context, nullptr);
    info.duration = double(context->duration) / AV_TIME_BASE;
    int video = -1;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++info.videoStreams;
            video = int(i);
        } else if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++info.audioStreams;
        }
    }
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(context, packet) >= 0) {
        if (packet->stream_index == video) {
            info.startsOnKeyFrame = packet->flags & AV_PKT_FLAG_KEY;
            av_packet_unref(packet);
            break;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&context);
    return info;
}

class VideoMomentExport : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            return;
        folder = new QString(test::makeTempDirectory(QStringLiteral("moments")));
        // Twelve seconds of H.264 with a key frame every two seconds, and AAC sound.
        QProcess::execute(QStringLiteral("ffmpeg"),
                          {"-v", "error", "-f", "lavfi", "-i", "testsrc=duration=12:size=160x120:rate=25", "-f",
                           "lavfi", "-i", "sine=frequency=440:duration=12", "-c:v", "libx264", "-g", "50", "-pix_fmt",
                           "yuv420p", "-c:a", "aac", "-shortest", *folder + "/source.mp4"});
        QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i",
                                                     "testsrc=duration=3:size=64x48:rate=10", "-c:v", "libvpx", "-f",
                                                     "webm", *folder + "/source.webm"});
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }
    void SetUp() override
    {
        if (!folder || !QFile::exists(*folder + "/source.mp4"))
            GTEST_SKIP() << "needs ffmpeg to make the test video";
        output = test::makeTempDirectory(QStringLiteral("clips"));
    }

    static QString* folder;
    QString output;
};

QString* VideoMomentExport::folder = nullptr;

TEST_F(VideoMomentExport, ClipsAtTheStartMiddleAndEndStartOnAKeyFrame)
{
    struct Case {
        double centre;
        double minimum, maximum; // the clip's length, widened to the key frame before its start
    };
    const Case cases[] = {{0.5, 5.0, 6.0}, {6.0, 10.0, 12.0}, {11.5, 5.0, 7.5}};
    QStringList made;
    for (const Case& c : cases) {
        const auto clip = exportVideoMoment(*folder + "/source.mp4", c.centre, 5, 5, output);
        ASSERT_TRUE(clip.hasValue()) << clip.error().toStdString();
        EXPECT_TRUE(clip->endsWith(QStringLiteral(".mov")));
        EXPECT_TRUE(QFileInfo(*clip).fileName().startsWith(QStringLiteral("Vesk-Moment-")));
        const MediaInfo info = probe(*clip);
        EXPECT_EQ(info.videoStreams, 1);
        EXPECT_EQ(info.audioStreams, 1);
        EXPECT_TRUE(info.startsOnKeyFrame);
        EXPECT_GE(info.duration, c.minimum) << c.centre;
        EXPECT_LE(info.duration, c.maximum) << c.centre;
        made.append(*clip);
    }
    // Every export is a file of its own.
    EXPECT_EQ(QSet<QString>(made.begin(), made.end()).size(), 3);
}

TEST_F(VideoMomentExport, StreamsThatOnlyFitMpeg4OrNeitherAndDamagedFiles)
{
    // VP8 has no place in a QuickTime or MPEG-4 file here: nothing is written.
    const auto webm = exportVideoMoment(*folder + "/source.webm", 1, 5, 5, output);
    if (webm.hasValue())
        EXPECT_TRUE(webm->endsWith(QStringLiteral(".mp4")) || webm->endsWith(QStringLiteral(".mov")));
    else
        EXPECT_EQ(webm.error(), kNoSupportedOutputType);

    QFile damaged(output + "/damaged.mp4");
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, '\x17'));
    damaged.close();
    const auto broken = exportVideoMoment(damaged.fileName(), 1, 5, 5, output);
    ASSERT_FALSE(broken.hasValue());
    EXPECT_TRUE(broken.error().startsWith(QStringLiteral("Vesk could not")));
    // Nothing half-written stays behind.
    EXPECT_TRUE(QDir(output).entryList({QStringLiteral("Vesk-Moment-*")}).isEmpty());
}

} // namespace
} // namespace vesk
