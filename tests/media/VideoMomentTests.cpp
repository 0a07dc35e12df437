#include "common/TestEnvironment.h"
#include "media/VideoMoment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <sys/resource.h>

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

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// One picture as 32 × 24 grey bytes: the clip's first shown one, or the source's at a time.
QByteArray picture(const QString& path, double at = -1)
{
    QStringList arguments{"-v", "error"};
    if (at >= 0)
        arguments << "-ss" << QString::number(at, 'f', 3);
    arguments << "-i" << path << "-frames:v" << "1" << "-vf" << "scale=32:24" << "-f" << "rawvideo" << "-pix_fmt"
              << "gray" << "-";
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

double difference(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 255;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        sum += std::abs(int(uchar(a[i])) - int(uchar(b[i])));
    return sum / double(a.size());
}

TEST_F(VideoMomentExport, ClipsPlayExactlyTheWindowFromItsFirstPicture)
{
    constexpr double kFrame = 1.0 / 25;
    struct Case {
        double centre, start, length;
    };
    // Windows that start between key frames (every 2 s), at the very start and at the end.
    const Case cases[] = {{6.32, 1.32, 10}, {0.5, 0, 5.5}, {11.52, 6.52, 5.48}, {6.72, 1.72, 10}};
    QStringList made;
    for (const Case& c : cases) {
        const auto clip = exportVideoMoment(*folder + "/source.mp4", c.centre, 5, 5, output);
        ASSERT_TRUE(clip.hasValue()) << clip.error().toStdString();
        EXPECT_TRUE(clip->endsWith(QStringLiteral(".mov")));
        EXPECT_TRUE(QFileInfo(*clip).fileName().startsWith(QStringLiteral("Vesk-Moment-")));
        const MediaInfo info = probe(*clip);
        EXPECT_EQ(info.videoStreams, 1);
        EXPECT_EQ(info.audioStreams, 1);
        EXPECT_TRUE(info.startsOnKeyFrame) << "the copied streams still open on a key frame";

        const double duration =
            run("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", *clip}).toDouble();
        EXPECT_NEAR(duration, c.length, kFrame + 0.001) << c.centre;
        const QString firstShown = run("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries",
                                                   "frame=pts_time", "-of", "csv=p=0", "-read_intervals", "%+#1", *clip});
        EXPECT_NEAR(firstShown.section(QLatin1Char('\n'), 0, 0).toDouble(), 0, 0.001) << c.centre;
        // What is shown first is the source's picture at the window's start, not the key frame's.
        const QByteArray shown = picture(*clip);
        const double atStart = difference(shown, picture(*folder + "/source.mp4", c.start));
        EXPECT_LT(atStart, 1.0) << c.centre;
        if (c.start > 0)
            EXPECT_LT(atStart, difference(shown, picture(*folder + "/source.mp4", std::floor(c.start / 2) * 2)))
                << c.centre;
        made.append(*clip);
    }
    // Every export is a file of its own.
    EXPECT_EQ(QSet<QString>(made.begin(), made.end()).size(), 4);
}

TEST_F(VideoMomentExport, AFullDiskIsSaidAsSuchAndLeavesNothing)
{
    // The clip's folder takes no more than a few kilobytes: the system's reason comes back,
    // never a claim that the format is unsupported.
    struct rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = previous;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    const auto clip = exportVideoMoment(*folder + "/source.mp4", 6, 5, 5, output);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_FALSE(clip.hasValue());
    EXPECT_NE(clip.error(), kNoSupportedOutputType);
    EXPECT_TRUE(clip.error().startsWith(QStringLiteral("Vesk could not write the video moment: "))) << clip.error().toStdString();
    EXPECT_TRUE(QDir(output).entryList({QStringLiteral("Vesk-Moment-*")}).isEmpty());
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
