#pragma once

#include "common/StoreFixture.h"

namespace vesk::test {

// The store fixture with a folder of source files to import from.
class IntakeStoreTest : public StoreFixture {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        sourceDir = makeTempDirectory(QStringLiteral("source"));
    }

    QString source(const QString& name, const QByteArray& bytes) const { return writeFile(sourceDir + "/" + name, bytes); }

    QString sourceDir;
};

} // namespace vesk::test
