#include "common/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
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

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

QString writeFileBornAfter(const QDateTime& moment, const QString& path, const QByteArray& bytes)
{
    do {
        QFile::remove(path);
        writeFile(path, bytes);
    } while (QFileInfo(path).birthTime() <= moment);
    return path;
}

} // namespace vesk::test
