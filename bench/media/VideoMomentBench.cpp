// BM_VideoMoment: a 20 s moment cut from the middle of a large H.264 file, against copying the
// same number of bytes (the moment is a stream copy, so it should cost about that).
#include "common/BenchTemp.h"
#include "media/VideoMoment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// About 500 MB: ten minutes of 1080p at 6.5 Mbit/s with a key frame every two seconds.
const QString& sourceVideo()
{
    static const QString path = [] {
        const QString file = QDir::temp().filePath(QStringLiteral("vesk-bench-moment-source.mp4"));
        if (QFileInfo(file).size() < 400'000'000)
            QProcess::execute(QStringLiteral("ffmpeg"),
                              {"-y", "-v", "error", "-f", "lavfi", "-i", "testsrc2=duration=600:size=1920x1080:rate=25",
                               "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "6500k", "-maxrate", "6500k",
                               "-bufsize", "6500k", "-g", "50", "-pix_fmt", "yuv420p", file});
        return file;
    }();
    return path;
}

void BM_VideoMoment(benchmark::State& state)
{
    const QString source = sourceVideo();
    QTemporaryDir out(vesk::bench::benchTempTemplate(QStringLiteral("moment")));
    for (auto _ : state) {
        const auto clip = vesk::exportVideoMoment(source, 300, 10, 10, out.path());
        if (!clip) {
            state.SkipWithError(clip.error().toStdString().c_str());
            return;
        }
        state.counters["clip_mb"] = double(QFileInfo(*clip).size()) / 1e6;
        QFile::remove(*clip);
    }
    state.counters["source_mb"] = double(QFileInfo(source).size()) / 1e6;
}
BENCHMARK(BM_VideoMoment)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same number of bytes read and written, for comparison.
void BM_CopyMomentBytes(benchmark::State& state)
{
    const QString source = sourceVideo();
    QTemporaryDir out(vesk::bench::benchTempTemplate(QStringLiteral("moment")));
    const qint64 bytes = qint64(20.0 / 600.0 * double(QFileInfo(source).size()));
    for (auto _ : state) {
        QFile in(source);
        QFile copy(out.filePath(QStringLiteral("copy.bin")));
        if (!in.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
            return state.SkipWithError("cannot open files");
        in.seek(in.size() / 2);
        copy.write(in.read(bytes));
        copy.close();
        QFile::remove(copy.fileName());
    }
}
BENCHMARK(BM_CopyMomentBytes)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
