#pragma once
// Pictures whose halves tell which way a decoder or a thumbnailer turned them, and how far two
// paintings of the same thing lie apart.

#include <QImage>

namespace vesk::test {

// Left half red, right half blue: after a quarter turn the halves tell which way it went.
QImage halvesImage(int width, int height);

bool isReddish(QRgb pixel);
bool isBluish(QRgb pixel);

// The largest difference of a colour channel between two pictures of the same size, in levels.
int largestChannelDifference(const QImage& a, const QImage& b);

} // namespace vesk::test
