#pragma once

#include "platform/ContentHash.h"
#include "platform/PackedIds.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUuid>

#include <optional>
#include <string>
#include <vector>

namespace vesk {

// What reading a library's texts for the search index yields that is costly to find again: the
// dictionaries of index words and association tokens, for every item the ids of the words and
// tokens it holds with a fingerprint of everything its words were read from, and for every word the items
// that hold it. Kept in a file next to the database so that a start finds the words of every
// unchanged item without reading its texts, and its word-to-item lists without turning every
// item's words around.
//
// The file is a cache and never an authority: an item is taken from it only when its fingerprint
// matches the item as the database gives it now, and a file that is damaged, cut short or written
// by another version of the reading rules is ignored as a whole.
struct SearchIndexImage {
    struct Item {
        QUuid id;
        ContentHash::Value stamp;
        PackedIds association; // ids into `associationWords`
        PackedIds words;       // ids into `words`: what the item put into the index
    };
    std::vector<std::u16string> words;
    std::vector<std::u16string> associationWords;
    std::vector<Item> items;
    // By word id: the positions in `items` of the items holding the word.
    std::vector<PackedIds> holders;
};

// The file's bytes; `engine` names the reading rules that made the ids (a changed rule gives
// other words, so a file made under another name is not used).
QByteArray encodeSearchIndexImage(const SearchIndexImage& image, QByteArrayView engine);
// The image the bytes hold, or none when they are not a whole, undamaged file of this engine.
// Safe on any bytes at all.
std::optional<SearchIndexImage> decodeSearchIndexImage(QByteArrayView bytes, QByteArrayView engine);

// The engine name of this build: the reading rules' own version and the Unicode tables they use.
QByteArray searchIndexEngine();

// The file next to the database at databasePath.
QString searchIndexFilePath(const QString& databasePath);
// Reads it; none when it is missing or not usable.
std::optional<SearchIndexImage> readSearchIndexFile(const QString& path);
// Writes it whole or not at all (a reader never sees half a file). Returns whether it was written.
bool writeSearchIndexFile(const QString& path, const SearchIndexImage& image);

} // namespace vesk
