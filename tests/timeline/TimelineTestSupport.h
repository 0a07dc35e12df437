#pragma once

#include "model/VeskItem.h"

#include "common/ExifFixtures.h"
#include "common/TestEnvironment.h"

#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QString>
#include <QUuid>
#include <gtest/gtest.h>
#include <optional>


namespace vesk::test {

// A picture file of the given size; with a date, its EXIF DateTimeOriginal is written by exiv2.
inline QString writePhoto(const QString& folder, const QString& name, QSize size = QSize(64, 48),
                          const char* exifDate = nullptr, QColor colour = Qt::darkCyan)
{
    const QString path = folder + QLatin1Char('/') + name;
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString suffix = name.section(QLatin1Char('.'), -1).toUpper();
    EXPECT_TRUE(image.save(path, suffix == QLatin1String("JPG") ? "JPEG" : suffix.toLatin1().constData()));
    if (exifDate) {
        test::writeExifDateTimeOriginal(path, exifDate);
    }
    return path;
}

inline QString writeBytes(const QString& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

inline VeskItem photoItem(const std::optional<QString>& path, const QString& title = QStringLiteral("Photo"),
                          const QDateTime& importedAt = QDateTime(QDate(2026, 1, 10), QTime(9, 0), Qt::UTC))
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Image;
    item.title = title;
    item.filePath = path;
    item.createdAt = importedAt;
    return item;
}

// A local wall-clock time as the UTC instant the code works with.
inline QDateTime localTime(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime).toUTC();
}

} // namespace vesk::test
