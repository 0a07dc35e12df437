// vesk-generate-library <data-folder> <count> [seed] [short]: writes a generated library into a
// data folder, for benchmarks and for looking at a large library (run Vesk with VESK_DATA_DIR set
// to the folder). "short" makes notes of 100 to 200 words instead of 50 to 800.
// vesk-generate-library --cached <count> [seed] [short]: makes the library the benchmarks keep
// under $VESK_BENCH_LIBRARIES, unless it is there, and prints its folder; it takes the folder's
// lock itself, so it is not to be run under `flock` of that lock.
#include "LibraryGenerator.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    QTextStream err(stderr);
    const bool cached = arguments.size() >= 2 && arguments.at(1) == QLatin1String("--cached");
    if (cached)
        arguments[1] = QString(); // the cached library names its own folder
    vesk::bench::LibraryShape shape = vesk::bench::LibraryShape::Mixed;
    if (arguments.size() >= 4 && arguments.last() == vesk::bench::shapeName(vesk::bench::LibraryShape::ShortNotes)) {
        shape = vesk::bench::LibraryShape::ShortNotes;
        arguments.removeLast();
    }
    bool countOk = false;
    bool seedOk = true;
    const int count = arguments.size() >= 3 ? arguments.at(2).toInt(&countOk) : 0;
    const quint32 seed = arguments.size() >= 4 ? arguments.at(3).toUInt(&seedOk) : 1;
    if (arguments.size() < 3 || arguments.size() > 4 || !countOk || count < 0 || !seedOk) {
        err << "usage: vesk-generate-library <data-folder> <count> [seed] [short]\n"
               "       vesk-generate-library --cached <count> [seed] [short]\n";
        return 2;
    }
    if (cached) {
        const auto folder = vesk::bench::cachedGeneratedLibrary(count, seed, shape);
        if (!folder) {
            err << "vesk-generate-library: " << folder.error() << "\n";
            return 1;
        }
        QTextStream(stdout) << folder.value() << "\n";
        return 0;
    }
    const auto written = vesk::bench::writeGeneratedLibrary(arguments.at(1), count, seed, shape);
    if (!written) {
        err << "vesk-generate-library: " << written.error() << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << written.value() << " items to " << arguments.at(1) << "\n";
    return 0;
}
