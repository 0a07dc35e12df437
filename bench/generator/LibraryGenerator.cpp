#include "LibraryGenerator.h"

#include "platform/Uuid.h"
#include "search/SearchText.h"
#include "store/DatabaseError.h"
#include "store/SQLiteDatabase.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

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

LibraryGenerator::LibraryGenerator(quint32 seed, const QString& wordListPath) : m_random(seed)
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
    std::uniform_int_distribution<int> length(50, 800);
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
    item.searchableText = text;
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
    item.filePath = QStringLiteral("/library/Items/") + uuidString(item.id) + QLatin1Char('/') + name
        + QLatin1Char('.') + extension;
    item.searchableText = name + QLatin1Char(' ') + sentence(std::uniform_int_distribution<int>(0, 40)(m_random));
    return item;
}

VeskItem LibraryGenerator::note(const QDateTime& createdAt)
{
    return makeNote(createdAt);
}

QList<VeskItem> LibraryGenerator::generate(int count, const QDateTime& now)
{
    QList<VeskItem> items;
    items.reserve(count);
    const qint64 span = 2LL * 365 * 86'400;
    std::uniform_int_distribution<qint64> age(0, span);
    std::uniform_int_distribution<int> kind(0, 9);
    for (int i = 0; i < count; ++i) {
        const QDateTime createdAt = now.addSecs(-age(m_random));
        const int roll = kind(m_random);
        items.append(roll < 7 ? makeNote(createdAt) : roll < 9 ? makeLink(createdAt) : makeFile(createdAt));
    }
    std::stable_sort(items.begin(), items.end(),
        [](const VeskItem& a, const VeskItem& b) { return a.createdAt > b.createdAt; });
    return items;
}

Expected<int, QString> writeGeneratedLibrary(const QString& dataFolder, int count, quint32 seed)
{
    if (!QDir().mkpath(dataFolder))
        return unexpected(QStringLiteral("cannot create ") + dataFolder);
    auto opened = SQLiteDatabase::open(QDir(dataFolder).filePath(QStringLiteral("vesk.sqlite3")));
    if (!opened)
        return unexpected(opened.error().logText());
    LibraryGenerator generator(seed);
    const QList<VeskItem> items = generator.generate(count);
    constexpr qsizetype kBatch = 5000;
    for (qsizetype start = 0; start < items.size(); start += kBatch) {
        if (auto written = opened.value()->upsertItems(items.mid(start, kBatch)); !written)
            return unexpected(written.error().logText());
    }
    return int(items.size());
}

} // namespace vesk::bench
