#include "LibraryGenerator.h"

#include "platform/Uuid.h"
#include "search/ConceptEmbedder.h"
#include "search/SearchText.h"
#include "search/SemanticEmbeddingEngine.h"
#include "store/DatabaseError.h"
#include "store/SQLiteDatabase.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSet>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesk::bench {

namespace {

QStringList readWords(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    static const QRegularExpression plain(QStringLiteral("^[a-z]{2,14}$"));
    const bool wordNet = path.contains(QLatin1String("wordnet"));
    QStringList words;
    QSet<QString> seen;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (wordNet) {
            if (line.startsWith(QLatin1Char(' ')) || line.isEmpty())
                continue;
            line = line.section(QLatin1Char(' '), 0, 0);
        }
        if (plain.match(line).hasMatch() && !seen.contains(line)) {
            seen.insert(line);
            words.append(line);
        }
    }
    return words;
}

} // namespace

QDateTime LibraryGenerator::defaultNow()
{
    return QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
}

QString shapeName(LibraryShape shape)
{
    return shape == LibraryShape::ShortNotes ? QStringLiteral("short") : QString();
}

LibraryGenerator::LibraryGenerator(quint32 seed, const QString& wordListPath, LibraryShape shape)
    : m_random(seed)
    , m_shape(shape)
{
    QStringList candidates;
    if (!wordListPath.isEmpty())
        candidates.append(wordListPath);
    candidates << QStringLiteral("/usr/share/dict/words") << QStringLiteral("/usr/share/wordnet/index.noun");
    for (const QString& path : candidates) {
        m_words = readWords(path);
        if (m_words.size() > 1000)
            break;
    }
    if (m_words.size() < 50) {
        m_words = QStringLiteral("river stone garden window letter market winter summer paper light "
                                 "table orange travel music friend budget review planning kitchen "
                                 "mountain ocean station bridge forest village engine pocket silver "
                                 "meadow harbor lantern violin pepper ticket camera basket pillow")
                      .split(QLatin1Char(' '));
    }
    // A fixed shuffle decides which words are frequent.
    std::mt19937 shuffle(7);
    std::shuffle(m_words.begin(), m_words.end(), shuffle);

    // Zipf-like frequencies: the word of rank r is drawn in proportion to 1 / (r + 1).
    m_cumulative.resize(size_t(m_words.size()));
    double total = 0.0;
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        total += 1.0 / double(i + 1);
        m_cumulative[size_t(i)] = total;
    }
    for (double& value : m_cumulative)
        value /= total;

    for (int i = 0; i < 40 && i < m_words.size(); ++i)
        m_hashtags.append(m_words.at(m_words.size() - 1 - i));
}

QString LibraryGenerator::wordAtRank(int rank) const
{
    return m_words.at(std::clamp(rank, 0, int(m_words.size()) - 1));
}

QString LibraryGenerator::word()
{
    const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
    const auto found = std::lower_bound(m_cumulative.begin(), m_cumulative.end(), draw);
    return m_words.at(std::min<qsizetype>(found - m_cumulative.begin(), m_words.size() - 1));
}

QString LibraryGenerator::sentence(int words)
{
    QStringList parts;
    for (int i = 0; i < words; ++i)
        parts.append(word());
    QString text = parts.join(QLatin1Char(' '));
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

VeskItem LibraryGenerator::makeNote(const QDateTime& createdAt)
{
    std::uniform_int_distribution<int> length = m_shape == LibraryShape::ShortNotes
        ? std::uniform_int_distribution<int>(100, 200)
        : std::uniform_int_distribution<int>(50, 800);
    const int total = length(m_random);
    QStringList lines;
    lines.append(sentence(std::uniform_int_distribution<int>(3, 8)(m_random)));
    int written = 0;
    while (written < total) {
        const int lineWords = std::min(total - written, std::uniform_int_distribution<int>(8, 20)(m_random));
        QString line = sentence(lineWords) + QLatin1Char('.');
        if (std::uniform_int_distribution<int>(0, 14)(m_random) == 0) {
            const int tag = std::min(int(m_hashtags.size()) - 1,
                int(std::floor(std::exponential_distribution<double>(0.15)(m_random))));
            line += QStringLiteral(" #") + m_hashtags.at(std::max(0, tag));
        }
        lines.append(line);
        written += lineWords;
    }
    const QString text = lines.join(QLatin1Char('\n'));
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Text;
    item.title = deriveTitle(text);
    item.createdAt = createdAt;
    item.text = text;
    item.searchableText = *item.text;
    return item;
}

VeskItem LibraryGenerator::makeLink(const QDateTime& createdAt)
{
    const QString host = word() + QLatin1Char('.') + word() + QStringLiteral(".org");
    const QString url = QStringLiteral("https://") + host + QLatin1Char('/') + word() + QLatin1Char('/')
        + word() + QLatin1Char('-') + word();
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Url;
    item.title = host;
    item.createdAt = createdAt;
    item.urlString = url;
    item.searchableText = url;
    return item;
}

QString LibraryGenerator::managedPath(const VeskItem& item, const QString& name) const
{
    const QString folder = m_itemsFolder.isEmpty() ? QStringLiteral("/library/Items") : m_itemsFolder;
    return folder + QLatin1Char('/') + uuidString(item.id) + QLatin1Char('/') + name;
}

VeskItem LibraryGenerator::makeFile(const QDateTime& createdAt)
{
    static const QStringList extensions{"pdf", "docx", "txt", "key", "zip"};
    const QString name = word() + QLatin1Char('-') + word();
    const QString extension = extensions.at(std::uniform_int_distribution<int>(0, 4)(m_random));
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::File;
    item.title = name;
    item.createdAt = createdAt;
    item.filePath = managedPath(item, name + QLatin1Char('.') + extension);
    item.searchableText = name + QLatin1Char(' ') + sentence(std::uniform_int_distribution<int>(0, 40)(m_random));
    return item;
}

VeskItem LibraryGenerator::makePicture(const QDateTime& createdAt)
{
    // A camera's name, and the labels and words an analysis finds in the picture.
    const QString name = QStringLiteral("IMG_%1").arg(std::uniform_int_distribution<int>(1000, 9999)(m_random));
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Image;
    item.title = name;
    item.createdAt = createdAt;
    item.filePath = managedPath(item, name + QStringLiteral(".jpg"));
    item.searchableText = name + QLatin1Char(' ') + sentence(std::uniform_int_distribution<int>(2, 12)(m_random));
    return item;
}

VeskItem LibraryGenerator::note(const QDateTime& createdAt)
{
    return makeNote(createdAt);
}

QString LibraryGenerator::noteText(int words)
{
    QStringList lines;
    for (int written = 0; written < words;) {
        const int lineWords = std::min(words - written, std::uniform_int_distribution<int>(8, 16)(m_random));
        lines.append(sentence(lineWords) + QLatin1Char('.'));
        written += lineWords;
    }
    return lines.join(QLatin1Char('\n'));
}

QList<VeskItem> LibraryGenerator::generate(int count, const QDateTime& now, const QString& itemsFolder)
{
    m_itemsFolder = itemsFolder;
    QList<VeskItem> items;
    items.reserve(count);
    const qint64 span = 2LL * 365 * 86'400;
    std::uniform_int_distribution<qint64> age(0, span);
    std::uniform_int_distribution<int> kind(0, 9);
    for (int i = 0; i < count; ++i) {
        const QDateTime createdAt = now.addSecs(-age(m_random));
        const int roll = kind(m_random);
        items.append(roll < 7 ? makeNote(createdAt)
                : roll == 7   ? makeLink(createdAt)
                : roll == 8   ? makeFile(createdAt)
                              : makePicture(createdAt));
    }
    std::stable_sort(items.begin(), items.end(),
        [](const VeskItem& a, const VeskItem& b) { return a.createdAt > b.createdAt; });
    return items;
}

namespace {

// A few distinct small photographs, encoded once; every picture item gets its own copy.
const QList<QByteArray>& pictureBytes()
{
    static const QList<QByteArray> pictures = [] {
        QList<QByteArray> encoded;
        std::mt19937 random(3);
        std::uniform_int_distribution<int> hue(0, 359);
        for (int i = 0; i < 16; ++i) {
            QImage image(i % 3 == 0 ? 320 : 240, i % 3 == 0 ? 200 : 240, QImage::Format_RGB32);
            QPainter painter(&image);
            QLinearGradient gradient(0, 0, image.width(), image.height());
            gradient.setColorAt(0, QColor::fromHsv(hue(random), 120, 230));
            gradient.setColorAt(1, QColor::fromHsv(hue(random), 160, 110));
            painter.fillRect(image.rect(), gradient);
            painter.setPen(Qt::NoPen);
            for (int circle = 0; circle < 5; ++circle) {
                painter.setBrush(QColor::fromHsv(hue(random), 90, 250, 140));
                painter.drawEllipse(QPoint(hue(random) % image.width(), hue(random) % image.height()),
                    20 + circle * 9, 20 + circle * 9);
            }
            painter.end();
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "JPG", 80);
            encoded.append(bytes);
        }
        return encoded;
    }();
    return pictures;
}

bool writeManagedFile(const VeskItem& item, qsizetype number)
{
    if (!item.filePath)
        return true;
    if (!QDir().mkpath(QFileInfo(*item.filePath).path()))
        return false;
    QFile file(*item.filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes;
    if (item.kind == VeskKind::Image)
        bytes = pictureBytes().at(number % pictureBytes().size());
    else
        bytes = item.searchableText.utf8().repeated(int(1 + number % 24));
    return file.write(bytes) == bytes.size();
}

} // namespace

Expected<int, QString> writeGeneratedLibrary(const QString& dataFolder, int count, quint32 seed, LibraryShape shape)
{
    if (!QDir().mkpath(dataFolder))
        return unexpected(QStringLiteral("cannot create ") + dataFolder);
    auto opened = SQLiteDatabase::open(QDir(dataFolder).filePath(QStringLiteral("vesk.sqlite3")));
    if (!opened)
        return unexpected(opened.error().logText());
    LibraryGenerator generator(seed, QString(), shape);
    const QList<VeskItem> items = generator.generate(
        count, LibraryGenerator::defaultNow(), QDir(dataFolder).absoluteFilePath(QStringLiteral("Items")));
    constexpr qsizetype kBatch = 5000;
    for (qsizetype start = 0; start < items.size(); start += kBatch) {
        if (auto written = opened.value()->upsertItems(items.mid(start, kBatch)); !written)
            return unexpected(written.error().logText());
    }
    // Every item of a library in use has its sentence vector (the application embeds the rest as
    // soon as it starts), and a library's memory is measured with them: unit vectors of the
    // engine's length, drawn from the seed.
    std::mt19937 random(seed ^ 0x5eedu);
    std::normal_distribution<double> normal;
    for (qsizetype start = 0; start < items.size(); start += kBatch) {
        auto written = opened.value()->runInTransaction([&]() -> SQLiteDatabase::VoidResult {
            for (qsizetype i = start; i < std::min(items.size(), start + kBatch); ++i) {
                QList<double> vector(ConceptEmbedder::dimensions);
                double squares = 0;
                for (double& value : vector) {
                    value = normal(random);
                    squares += value * value;
                }
                for (double& value : vector)
                    value /= std::sqrt(squares);
                if (auto saved = opened.value()->updateEmbedding(
                        items[i].id, SemanticEmbeddingEngine::modelIdentifier, vector);
                    !saved)
                    return saved;
            }
            return {};
        });
        if (!written)
            return unexpected(written.error().logText());
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!writeManagedFile(items[i], i))
            return unexpected(QStringLiteral("cannot write ") + items[i].filePath.value_or(QString()));
    }
    return int(items.size());
}

Expected<QString, QString> cachedGeneratedLibrary(int count, quint32 seed, LibraryShape shape)
{
    const QString root = qEnvironmentVariableIsEmpty("VESK_BENCH_LIBRARIES")
        ? QDir::temp().filePath(QStringLiteral("vesk-bench-libraries"))
        : qEnvironmentVariable("VESK_BENCH_LIBRARIES");
    // The version names the generator's output; a change of what it writes needs a new one.
    const QString shapePart = shape == LibraryShape::Mixed ? QString() : QLatin1Char('-') + shapeName(shape);
    const QString folder =
        QDir(root).filePath(QStringLiteral("library-%1-%2%3-v3").arg(count).arg(seed).arg(shapePart));
    const QString complete = QDir(folder).filePath(QStringLiteral(".complete"));
    if (QFileInfo::exists(complete))
        return folder;
    // Several runs may start on a missing library at once: one writes it, the others wait and
    // then find it complete. The lock file is the one beside the folder of libraries that
    // `flock <folder>.lock` takes by hand; the lock goes with the process, however it ends.
    if (!QDir().mkpath(root))
        return unexpected(QStringLiteral("cannot create ") + root);
    const QString lockPath = QDir::cleanPath(QDir(root).absolutePath()) + QStringLiteral(".lock");
    const int lock = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0)
        return unexpected(QStringLiteral("cannot open ") + lockPath);
    const auto unlock = qScopeGuard([lock] { ::close(lock); });
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        std::fprintf(stderr, "waiting for %s: another run is writing a library\n", qPrintable(lockPath));
        if (::flock(lock, LOCK_EX) != 0)
            return unexpected(QStringLiteral("cannot lock ") + lockPath);
    }
    if (QFileInfo::exists(complete))
        return folder;
    QDir(folder).removeRecursively();
    if (auto written = writeGeneratedLibrary(folder, count, seed, shape); !written)
        return unexpected(written.error());
    QSaveFile marker(complete);
    if (!marker.open(QIODevice::WriteOnly) || marker.write("1\n") < 0 || !marker.commit())
        return unexpected(QStringLiteral("cannot write ") + complete);
    return folder;
}

Expected<void, QString> copyLibraryDatabase(const QString& fromFolder, const QString& toFolder)
{
    if (!QDir().mkpath(toFolder))
        return unexpected(QStringLiteral("cannot create ") + toFolder);
    // The copy's pictures are the original's, and so are their thumbnails: a start on the copy
    // finds them made instead of making ten thousand anew in the background.
    const QString thumbnails = QDir(fromFolder).filePath(QStringLiteral("Thumbnails"));
    if (QFileInfo::exists(thumbnails))
        QFile::link(thumbnails, QDir(toFolder).filePath(QStringLiteral("Thumbnails")));
    for (const QString& name : {QStringLiteral("vesk.sqlite3"), QStringLiteral("vesk.sqlite3-wal")}) {
        const QString from = QDir(fromFolder).filePath(name);
        const QString to = QDir(toFolder).filePath(name);
        QFile::remove(to);
        if (QFileInfo::exists(from) && !QFile::copy(from, to))
            return unexpected(QStringLiteral("cannot copy ") + from);
    }
    return {};
}

} // namespace vesk::bench
