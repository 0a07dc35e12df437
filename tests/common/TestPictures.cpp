#include "common/TestPictures.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace vesk::test {

QImage halvesImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    return image;
}

bool isReddish(QRgb pixel)
{
    return qRed(pixel) > 180 && qBlue(pixel) < 90 && qGreen(pixel) < 90;
}

bool isBluish(QRgb pixel)
{
    return qBlue(pixel) > 180 && qRed(pixel) < 90 && qGreen(pixel) < 90;
}

int largestChannelDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

} // namespace vesk::test
