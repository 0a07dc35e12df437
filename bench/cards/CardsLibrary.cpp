#include "CardsLibrary.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QStringList>

namespace vesk::bench {

namespace {

const QStringList kWords{QStringLiteral("harbour"), QStringLiteral("lantern"), QStringLiteral("quarterly"),
                         QStringLiteral("recipe"), QStringLiteral("mountain"), QStringLiteral("invoice"),
                         QStringLiteral("garden"), QStringLiteral("meeting"), QStringLiteral("sketch"),
                         QStringLiteral("travel"), QStringLiteral("budget"), QStringLiteral("letter"),
                         QStringLiteral("concert"), QStringLiteral("river"), QStringLiteral("project"),
                         QStringLiteral("notes"), QStringLiteral("autumn"), QStringLiteral("bicycle")};

QString words(QRandomGenerator& random, int count)
{
    QStringList picked;
    for (int i = 0; i < count; ++i)
        picked << kWords[random.bounded(qsizetype(kWords.size()))];
    QString text = picked.join(QLatin1Char(' '));
    text[0] = text[0].toUpper();
    return text;
}

QString writePicture(const QString& folder, int index, QRandomGenerator& random)
{
    const QString path = folder + QStringLiteral("/picture-%1.png").arg(index);
    if (QFile::exists(path))
        return path;
    const bool wide = index % 5 == 0;
    QImage image(wide ? 1200 : 640, wide ? 400 : 480, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, image.width(), image.height());
    gradient.setColorAt(0, QColor::fromHsv(random.bounded(360), 120, 230));
    gradient.setColorAt(1, QColor::fromHsv(random.bounded(360), 160, 120));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 90, 250, 120));
        const int r = 30 + random.bounded(90);
        painter.drawEllipse(QPoint(random.bounded(image.width()), random.bounded(image.height())), r, r);
    }
    painter.end();
    image.save(path, "PNG");
    return path;
}

} // namespace

QList<VeskItem> makeCardsLibrary(int count, const QString& folder, int pictureFiles)
{
    QDir().mkpath(folder);
    QRandomGenerator random(20261207);
    QList<QString> pictures;
    QList<VeskItem> items;
    items.reserve(count);
    const QDateTime newest = QDateTime(QDate(2026, 12, 1), QTime(10, 0), Qt::UTC);
    static const char* const kDocuments[] = {"Quarterly report.pdf", "Lease agreement.docx", "Budget 2026.xlsx",
                                             "Slides.key", "Holiday.zip", "Interview.m4a", "Clip.mov",
                                             "README.md", "notes.txt", "data.flac"};
    for (int i = 0; i < count; ++i) {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.createdAt = newest.addSecs(-qint64(i) * 3700);
        const int shape = i % 12;
        switch (shape) {
        case 0:
        case 1:
        case 2: {
            item.kind = VeskKind::Image;
            if (pictures.size() < pictureFiles)
                pictures.append(writePicture(folder, int(pictures.size()), random));
            item.filePath = pictures[i % pictures.size()];
            item.title = shape == 0 ? QStringLiteral("IMG_%1.HEIC").arg(4000 + i) : words(random, 3);
            item.searchableText = item.title;
            break;
        }
        case 3:
        case 4:
            item.kind = VeskKind::Text;
            item.title = words(random, 3);
            item.text = words(random, 24) + QStringLiteral(".");
            item.searchableText = *item.text;
            break;
        case 5:
            item.kind = VeskKind::Url;
            item.title = words(random, 2);
            item.urlString = QStringLiteral("https://www.example.org/%1/%2").arg(kWords[i % kWords.size()]).arg(i);
            item.searchableText = *item.urlString;
            break;
        case 6:
            item.kind = VeskKind::Text;
            item.title = words(random, 2) + QStringLiteral(" page.html");
            item.text = words(random, 20);
            item.searchableText = QStringLiteral("__vesk_source_html__ ") + item.text->toString();
            break;
        case 7:
        case 8: {
            item.kind = VeskKind::File;
            const QString name = QString::fromLatin1(kDocuments[(i / 12) % 10]);
            item.title = name;
            item.filePath = folder + QStringLiteral("/files/") + name;
            item.searchableText = name;
            break;
        }
        case 9:
            item.kind = VeskKind::Activity;
            item.title = QStringLiteral("Morning walk");
            item.filePath = folder + QStringLiteral("/walk.veskactivity");
            item.searchableText = QStringLiteral("__vesk_activity__ walk");
            break;
        case 10:
            item.kind = VeskKind::Text;
            item.title = QStringLiteral("Bank card");
            item.text = QStringLiteral("4111 1111 1111 1111");
            item.searchableText = QStringLiteral("__vesk_secure_credit_card__ bank");
            break;
        default:
            item.kind = VeskKind::Url;
            item.title = QStringLiteral("Vesk-Note-2025-03-14-091502");
            item.urlString = QStringLiteral("example.com/path/without/scheme");
            item.searchableText = item.title;
            break;
        }
        items.append(item);
    }
    return items;
}

} // namespace vesk::bench
