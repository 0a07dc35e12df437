#include "UseMedia.h"

#include "LibraryGenerator.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>

#include <algorithm>
#include <random>

namespace vesk::bench {

namespace {

// A picture with the detail a camera's has: a gradient under many soft shapes and grain, so
// that it neither compresses to nothing nor decodes faster than a photograph.
QImage photograph(int number)
{
    std::mt19937 random(quint32(100 + number));
    std::uniform_int_distribution<int> hue(0, 359);
    QImage image(4032, 3024, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, image.width(), image.height());
    gradient.setColorAt(0, QColor::fromHsv(hue(random), 110, 235));
    gradient.setColorAt(1, QColor::fromHsv(hue(random), 170, 90));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::NoPen);
    std::uniform_int_distribution<int> x(0, image.width());
    std::uniform_int_distribution<int> y(0, image.height());
    std::uniform_int_distribution<int> radius(20, 400);
    for (int shape = 0; shape < 300; ++shape) {
        painter.setBrush(QColor::fromHsv(hue(random), 90, 250, 90));
        const int r = radius(random);
        painter.drawEllipse(QPoint(x(random), y(random)), r, r * 2 / 3);
    }
    painter.end();
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int row = 0; row < image.height(); row += 2) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int column = 0; column < image.width(); ++column) {
            const int g = grain(random);
            const QRgb pixel = line[column];
            line[column] = qRgb(std::clamp(qRed(pixel) + g, 0, 255), std::clamp(qGreen(pixel) + g, 0, 255),
                                std::clamp(qBlue(pixel) + g, 0, 255));
        }
    }
    return image;
}

bool writeDocument(const QString& path, int number, LibraryGenerator& words)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(150);
    QPainter painter(&writer);
    if (!painter.isActive())
        return false;
    const QImage picture = photograph(number).scaled(600, 450);
    for (int page = 0; page < 6; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawImage(QRect(80, 80, 600, 450), picture);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        painter.drawText(QRect(80, 580, 1080, 1100), Qt::TextWordWrap, words.noteText(260));
    }
    return painter.end();
}

bool writeVideo(const QString& path, int number)
{
    // Test patterns, each of its own length (equal files would be one item), with a key frame
    // every second.
    const QString source = QStringLiteral("%1=duration=%2:size=1280x720:rate=25")
                               .arg(number % 2 ? QStringLiteral("testsrc2") : QStringLiteral("smptehdbars"))
                               .arg(6 + number);
    return QProcess::execute(QStringLiteral("ffmpeg"),
               {"-y", "-v", "error", "-f", "lavfi", "-i", source, "-c:v", "libx264", "-preset", "ultrafast",
                "-g", "25", "-pix_fmt", "yuv420p", path})
        == 0
        && QFileInfo(path).size() > 0;
}

} // namespace

UseMedia makeUseMedia(const QString& folder, int photos, int documents, int videos)
{
    UseMedia media;
    QDir().mkpath(folder);
    LibraryGenerator words(11);
    for (int i = 0; i < photos; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(4100 + i));
        if (photograph(i).save(path, "JPG", 88))
            media.photos.append(path);
    }
    for (int i = 0; i < documents; ++i) {
        const QString path = QDir(folder).filePath(
            QStringLiteral("%1 %2 report.pdf").arg(words.wordAtRank(300 + i * 7), words.wordAtRank(900 + i * 13)));
        if (writeDocument(path, 50 + i, words))
            media.documents.append(path);
    }
    for (int i = 0; i < videos; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("Clip %1.mp4").arg(i + 1));
        if (!writeVideo(path, i))
            break;
        media.videos.append(path);
    }
    return media;
}

} // namespace vesk::bench
