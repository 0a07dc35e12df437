#include "common/TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUuid>
#include <memory>

namespace vesk::test {

namespace {
std::unique_ptr<QTemporaryDir>& rootHolder()
{
    static std::unique_ptr<QTemporaryDir> root;
    return root;
}
} // namespace

QString testRoot()
{
    auto& root = rootHolder();
    if (!root) {
        root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vesk-test-XXXXXX"));
        root->setAutoRemove(true);
    }
    return root->path();
}

QString makeTempDirectory(const QString& prefix)
{
    const QString path = testRoot() + QLatin1Char('/') + prefix + QLatin1Char('-')
        + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(path);
    return path;
}

} // namespace vesk::test
