#pragma once
// Every fsync of a test process that links FlushRecorder.cpp, noted by the path of what was flushed
// and whether the main thread flushed it. The recorder's fsync stands in front of the C library's
// and passes every call on.

#include <QList>
#include <QString>

namespace vesk::test {

struct RecordedFlush {
    QString path;
    bool onMainThread = false;
};

void forgetRecordedFlushes();
QList<RecordedFlush> recordedFlushes();

} // namespace vesk::test
