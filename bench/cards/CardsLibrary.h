#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QString>

namespace vesk::bench {

// A mixed library for looking at and timing the grid: notes, links, web pages, pictures (real
// PNG files written into `folder`), documents, activities and secure items, newest first.
// At most `pictureFiles` picture files are written; further picture items share them.
QList<VeskItem> makeCardsLibrary(int count, const QString& folder, int pictureFiles = 40);

} // namespace vesk::bench
