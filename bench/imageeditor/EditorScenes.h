#pragma once

#include "editor/VeskMarkupElement.h"

#include <QImage>
#include <QList>
#include <QSize>

namespace vesk::bench {

// A photo-like picture: a sky gradient, a sun, hills and a few bright shapes.
QImage makeScenePicture(QSize size);

// `count` markup elements of every kind spread over the picture, strokes of 40 points each.
QList<VeskMarkupElement> makeMarkupElements(int count);

} // namespace vesk::bench
