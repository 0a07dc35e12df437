#pragma once
// Pictures whose halves tell which way a decoder or a thumbnailer turned them.

#include <QImage>

namespace vesk::test {

// Left half red, right half blue: after a quarter turn the halves tell which way it went.
QImage halvesImage(int width, int height);

bool isReddish(QRgb pixel);
bool isBluish(QRgb pixel);

} // namespace vesk::test
