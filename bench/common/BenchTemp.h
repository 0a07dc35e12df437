#pragma once
// Where the benchmarks keep their temporary files, so that none are left behind: a run's files
// lie in one folder named after the process, removed at exit, on an interrupt or termination
// signal, and, should the process have been killed outright, by the next run that finds its
// process gone.

#include <QString>

namespace vesk::bench {

// The folder of this run's temporary files, <temp>/vesk-bench-<pid>-XXXXXX, made on first use.
// The first use also removes the folders of earlier runs whose process no longer exists and
// installs the signal handlers that remove this one.
QString benchRunFolder();

// A template for QTemporaryDir or QTemporaryFile inside the run's folder: "<folder>/<name>-XXXXXX".
QString benchTempTemplate(const QString& name);

// Removes the folders of runs whose process no longer exists; returns how many went.
int removeStaleBenchFolders();

} // namespace vesk::bench
