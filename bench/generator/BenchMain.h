#pragma once
// What every benchmark executable shares: its main() and stores over generated libraries.

#include <QString>

#include <memory>

namespace vesk {
class VeskStore;
}

namespace vesk::bench {

// Runs the registered benchmarks with every folder the store might look at inside a temporary
// root (nothing of the user's own), five repetitions and only their aggregates unless the command
// line says otherwise. Makes a QCoreApplication unless an application exists already.
int runBenchmarks(int argc, char** argv);

// The temporary root of this run; empty outside runBenchmarks.
QString benchRootPath();

// Keeps store until the run ends and returns it. Kept stores are destroyed before runBenchmarks
// returns, while the application, the temporary root and the shared pools their work uses are
// still there: a store in a function's static would go only at exit, after all of them.
VeskStore& keepForRun(std::unique_ptr<VeskStore> store);

// A store over a generated library of count items in its own folder under the root, loaded as the
// application would load it and started (the index built, the vectors read); made once per
// count and kept for the run.
VeskStore& generatedLibraryStore(int count);

} // namespace vesk::bench
