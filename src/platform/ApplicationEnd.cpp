#include "platform/ApplicationEnd.h"

#include "platform/WorkPools.h"

#include <QCoreApplication>

namespace vesk {

int endApplication(std::unique_ptr<QObject> running, int exitCode, int msecs)
{
    running.reset();
    return finishWorkBeforeExit(exitCode, msecs);
}

int runApplicationToItsEnd(std::unique_ptr<QObject> running, int msecs)
{
    const int exitCode = QCoreApplication::exec();
    return endApplication(std::move(running), exitCode, msecs);
}

} // namespace vesk
