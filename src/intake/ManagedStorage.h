#pragma once

#include "platform/Expected.h"

#include <QString>
#include <QUuid>

namespace vesk {

// "<data folder>/Items": the managed copies, one subfolder per item named by its identifier.
QString managedItemsDirectoryIn(const QString& dataDirectory);

// Copies the file or folder at source to "<itemsDirectory>/<ID>/<source file name>" and returns
// the copy's path; when something is already there it is returned as is. The copy appears whole
// or not at all, keeps the source's modification time, and is streamed, so a file of any size
// costs a fixed buffer. Symbolic links inside a copied folder are left out: a copy never reaches
// outside what the user handed over. The error text says what failed.
Expected<QString, QString> copyIntoManagedStorage(const QString& source, const QString& itemsDirectory,
                                                  const QUuid& id);

} // namespace vesk
