#pragma once

#include "platform/Expected.h"
#include "model/VeskItem.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <random>
#include <vector>

namespace vesk::bench {

// What a generated library's notes look like: the mix of long and short notes of a library that
// grew over years, or the everyday notes of someone who writes a paragraph at a time (whose
// postings are denser per word and whose searches match more notes).
enum class LibraryShape {
    Mixed,      // notes of 50 to 800 words
    ShortNotes, // notes of 100 to 200 words
};

// A name for benchmark arguments and folder names: "" for Mixed, "short" for ShortNotes.
QString shapeName(LibraryShape shape);

// Makes reproducible libraries for benchmarks and manual runs: notes (70 %, of the shape's
// length), links, file items and pictures (10 % each), with words drawn from a dictionary in a
// natural (Zipf-like) frequency, some hashtags, and creation dates spread over two years. The
// same seed and shape give the same library.
class LibraryGenerator {
public:
    // Reads the word list at wordListPath, or the first of /usr/share/dict/words and the WordNet
    // noun index that exists. Without any, a small built-in list is used.
    explicit LibraryGenerator(quint32 seed = 1, const QString& wordListPath = QString(),
        LibraryShape shape = LibraryShape::Mixed);

    // Items newest first; createdAt values lie in the two years before `now`. File and picture
    // items point into itemsFolder ("Items" of a data folder) when one is given; the files
    // themselves are written by writeGeneratedLibrary.
    QList<VeskItem> generate(int count, const QDateTime& now = defaultNow(),
        const QString& itemsFolder = QString());
    // One new note, for timing single-item changes.
    VeskItem note(const QDateTime& createdAt);
    // The text of a note of exactly `words` words, in lines of a dozen or so.
    QString noteText(int words);

    // The word of the given frequency rank (0 is the most frequent).
    QString wordAtRank(int rank) const;
    // The hashtags the generator writes (without "#"), most frequent first.
    const QStringList& hashtags() const { return m_hashtags; }
    int vocabularySize() const { return int(m_words.size()); }

    static QDateTime defaultNow();

private:
    QString word();
    QString sentence(int words);
    VeskItem makeNote(const QDateTime& createdAt);
    VeskItem makeLink(const QDateTime& createdAt);
    VeskItem makeFile(const QDateTime& createdAt);
    VeskItem makePicture(const QDateTime& createdAt);
    QString managedPath(const VeskItem& item, const QString& name) const;

    std::mt19937 m_random;
    QStringList m_words;
    std::vector<double> m_cumulative;
    QStringList m_hashtags;
    QString m_itemsFolder;
    LibraryShape m_shape = LibraryShape::Mixed;
};

// Writes count generated items into the database "vesk.sqlite3" of dataFolder (created or
// extended), through the store's own database layer, and the managed file of every file and
// picture item into its "Items" folder. Returns the number written.
Expected<int, QString> writeGeneratedLibrary(const QString& dataFolder, int count, quint32 seed = 1,
    LibraryShape shape = LibraryShape::Mixed);

// A generated library kept between runs (generating 100,000 items takes a while): a data folder
// under $VESK_BENCH_LIBRARIES, else the temporary folder, written on first use. Benchmarks that
// change the library work on a copy (copyLibraryDatabase). Runs that ask for the same library at
// once wait for the one that writes it (a lock file in the folder of libraries).
Expected<QString, QString> cachedGeneratedLibrary(int count, quint32 seed = 1,
    LibraryShape shape = LibraryShape::Mixed);
// Copies the database of a data folder into another (the managed files stay where they are: the
// items keep pointing at them; the thumbnails folder is linked).
Expected<void, QString> copyLibraryDatabase(const QString& fromFolder, const QString& toFolder);

} // namespace vesk::bench
