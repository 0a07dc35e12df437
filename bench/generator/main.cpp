// vesk-generate-library <data-folder> <count> [seed]: writes a generated library into a data
// folder, for benchmarks and for looking at a large library (run Vesk with VESK_DATA_DIR set to
// the folder).
#include "LibraryGenerator.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTextStream err(stderr);
    bool countOk = false;
    bool seedOk = true;
    const int count = arguments.size() >= 3 ? arguments.at(2).toInt(&countOk) : 0;
    const quint32 seed = arguments.size() >= 4 ? arguments.at(3).toUInt(&seedOk) : 1;
    if (arguments.size() < 3 || arguments.size() > 4 || !countOk || count < 0 || !seedOk) {
        err << "usage: vesk-generate-library <data-folder> <count> [seed]\n";
        return 2;
    }
    const auto written = vesk::bench::writeGeneratedLibrary(arguments.at(1), count, seed);
    if (!written) {
        err << "vesk-generate-library: " << written.error() << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << written.value() << " items to " << arguments.at(1) << "\n";
    return 0;
}
