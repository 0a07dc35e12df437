#include "search/WordNet.h"

#include "platform/SystemMemory.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstring>
#include <limits>

namespace vesk {

namespace {

constexpr std::array<const char*, wordNetPosCount> kPosNames = {"noun", "verb", "adj", "adv"};

// A cursor over one line of a dictionary file; fields are separated by single spaces.
class Fields {
public:
    explicit Fields(std::string_view line) : m_rest(line) {}

    std::string_view next()
    {
        const size_t space = m_rest.find(' ');
        const std::string_view field = m_rest.substr(0, space);
        m_rest = space == std::string_view::npos ? std::string_view() : m_rest.substr(space + 1);
        return field;
    }
    std::string_view rest() const { return m_rest; }

private:
    std::string_view m_rest;
};

bool parseNumber(std::string_view text, int base, quint32& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    quint64 result = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        result = result * quint64(base) + quint64(digit);
    }
    if (result > 0xffffffffu)
        return false;
    value = quint32(result);
    return true;
}

// Calls visit with each line of a file, skipping the licence lines, which start with a space.
template <typename Visit>
void forEachLine(const QByteArray& bytes, Visit&& visit)
{
    const char* position = bytes.constData();
    const char* end = position + bytes.size();
    while (position < end) {
        const char* newline = static_cast<const char*>(std::memchr(position, '\n', size_t(end - position)));
        const char* lineEnd = newline ? newline : end;
        std::string_view line(position, size_t(lineEnd - position));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (!line.empty() && line.front() != ' ')
            visit(line, size_t(position - bytes.constData()));
        position = lineEnd + 1;
    }
}

std::optional<WordNetPos> posFromLetter(char letter)
{
    switch (letter) {
    case 'n': return WordNetPos::Noun;
    case 'v': return WordNetPos::Verb;
    case 'a':
    case 's': return WordNetPos::Adjective;
    case 'r': return WordNetPos::Adverb;
    default: return std::nullopt;
    }
}

// Whether a pointer leads to a broader concept of the synset it starts from.
bool isBroader(std::string_view symbol, WordNetPos pos, bool satellite)
{
    switch (pos) {
    case WordNetPos::Noun: return symbol == "@" || symbol == "@i";
    case WordNetPos::Verb: return symbol == "@";
    case WordNetPos::Adjective: return symbol == "=" || (satellite && symbol == "&");
    case WordNetPos::Adverb: return symbol == "\\";
    }
    return false;
}

// What a pointer that is kept leads to: a broader concept or an associated one.
enum class Kept { No, Broader, Associated };

Kept keptPointer(std::string_view symbol, WordNetPos pos, bool satellite, WordNet::Association& kind)
{
    using Association = WordNet::Association;
    if (isBroader(symbol, pos, satellite))
        return Kept::Broader;
    const auto keep = [&](Association association) {
        kind = association;
        return Kept::Associated;
    };
    if (pos == WordNetPos::Noun && (symbol == "#p" || symbol == "#m" || symbol == "#s"))
        return keep(Association::Whole);
    if (pos == WordNetPos::Noun && (symbol == "%p" || symbol == "%m" || symbol == "%s"))
        return keep(Association::Part);
    if (symbol == "+" || (pos == WordNetPos::Adjective && symbol == "\\"))
        return keep(Association::Derived);
    // A head adjective's satellites ("wet": "damp", "soaked"); a satellite's head is broader.
    if (pos == WordNetPos::Adjective && !satellite && symbol == "&")
        return keep(Association::Similar);
    if (pos == WordNetPos::Verb && (symbol == "*" || symbol == ">" || symbol == "$"))
        return keep(Association::Entailed);
    if (symbol == ";c")
        return keep(Association::Topic);
    if (symbol == "-c")
        return keep(Association::TopicMember);
    return Kept::No;
}

struct Rule {
    std::string_view suffix;
    std::string_view ending;
};

std::span<const Rule> detachmentRules(WordNetPos pos)
{
    static constexpr Rule noun[] = {{"s", ""}, {"ses", "s"}, {"xes", "x"}, {"zes", "z"},
        {"ches", "ch"}, {"shes", "sh"}, {"men", "man"}, {"ies", "y"}};
    static constexpr Rule verb[] = {{"s", ""}, {"ies", "y"}, {"es", "e"}, {"es", ""}, {"ed", "e"},
        {"ed", ""}, {"ing", "e"}, {"ing", ""}};
    static constexpr Rule adjective[] = {{"er", ""}, {"est", ""}, {"er", "e"}, {"est", "e"}};
    switch (pos) {
    case WordNetPos::Noun: return noun;
    case WordNetPos::Verb: return verb;
    case WordNetPos::Adjective: return adjective;
    case WordNetPos::Adverb: return {};
    }
    return {};
}

// The file's bytes over a read-only mapping of it, kept by mappings: the data and index files
// are most of the dictionary, and mapped they stay in the system's file cache instead of in a
// private copy. An empty file maps to an empty array.
std::optional<QByteArray> mapWhole(const QString& path, QString& error, std::vector<std::unique_ptr<QFile>>& mappings)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file->errorString();
        return std::nullopt;
    }
    if (file->size() == 0)
        return QByteArray();
    const uchar* mapped = file->map(0, file->size());
    if (!mapped) {
        error = path + QStringLiteral(": ") + file->errorString();
        return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), file->size());
    mappings.push_back(std::move(file));
    return bytes;
}

std::optional<QByteArray> readWhole(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

Expected<std::unique_ptr<WordNet>, QString> WordNet::load(const QString& folder)
{
    std::unique_ptr<WordNet> wordNet(new WordNet());
    const QDir dir(folder);
    QString error;
    std::vector<Pointer> pointers;
    for (int p = 0; p < wordNetPosCount; ++p) {
        const auto pos = WordNetPos(p);
        const QString name = QString::fromLatin1(kPosNames[size_t(p)]);
        auto data = mapWhole(dir.filePath(QStringLiteral("data.") + name), error, wordNet->m_mappings);
        if (!data)
            return unexpected(error);
        wordNet->m_data[size_t(p)] = std::move(*data);
        if (!wordNet->readData(wordNet->m_data[size_t(p)], pos, pointers))
            return unexpected(dir.filePath(QStringLiteral("data.") + name) + QStringLiteral(": unreadable"));
        // Each file read goes back before the next is read: the whole dictionary is never in
        // memory at once, only what it is made into.
        dropMappedPages(wordNet->m_data[size_t(p)].constData(), size_t(wordNet->m_data[size_t(p)].size()));
    }
    if (!wordNet->resolvePointers(pointers))
        return unexpected(QStringLiteral("a pointer names a synset that does not exist"));
    for (int p = 0; p < wordNetPosCount; ++p) {
        const QString name = QString::fromLatin1(kPosNames[size_t(p)]);
        auto index = mapWhole(dir.filePath(QStringLiteral("index.") + name), error, wordNet->m_mappings);
        if (!index)
            return unexpected(error);
        wordNet->m_index[size_t(p)] = std::move(*index);
        if (!wordNet->readIndex(wordNet->m_index[size_t(p)], WordNetPos(p)))
            return unexpected(dir.filePath(QStringLiteral("index.") + name) + QStringLiteral(": unreadable"));
        dropMappedPages(wordNet->m_index[size_t(p)].constData(), size_t(wordNet->m_index[size_t(p)].size()));
        // Exception lists and the frequency list only sharpen the result; a missing one is no
        // reason to give up the dictionary.
        QString ignored;
        if (auto exceptions = mapWhole(dir.filePath(name + QStringLiteral(".exc")), ignored, wordNet->m_mappings)) {
            wordNet->m_exceptionFiles[size_t(p)] = std::move(*exceptions);
            wordNet->readExceptions(wordNet->m_exceptionFiles[size_t(p)], WordNetPos(p));
        }
    }
    QString ignored;
    if (auto counts = readWhole(dir.filePath(QStringLiteral("cntlist.rev")), ignored))
        wordNet->readTagCounts(*counts);
    wordNet->computeSpecificity();
    wordNet->collectNarrower();
    wordNet->countDefinitionWords();
    // A text needs the lines of a few of its words' senses, which come back from the file cache
    // as they are read.
    wordNet->dropFilePages();
    return wordNet;
}

void WordNet::dropFilePages() const
{
    for (const QByteArray& bytes : mappedFiles())
        dropMappedPages(bytes.constData(), size_t(bytes.size()));
}

bool WordNet::readData(const QByteArray& bytes, WordNetPos pos, std::vector<Pointer>& pointers)
{
    const size_t p = size_t(pos);
    m_firstSynset[p] = quint32(m_synsets.size());
    bool ok = true;
    quint32 previousOffset = 0;
    forEachLine(bytes, [&](std::string_view line, size_t lineStart) {
        if (!ok)
            return;
        Fields fields(line);
        Synset synset;
        synset.pos = pos;
        quint32 wordCount = 0;
        quint32 pointerCount = 0;
        if (!parseNumber(fields.next(), 10, synset.offset) || fields.next().empty()) {
            ok = false;
            return;
        }
        const std::string_view type = fields.next();
        if (!parseNumber(fields.next(), 16, wordCount)) {
            ok = false;
            return;
        }
        for (quint32 i = 0; i < wordCount; ++i) {
            fields.next();
            fields.next();
        }
        if (!parseNumber(fields.next(), 10, pointerCount)) {
            ok = false;
            return;
        }
        // Synset ids ascend with offsets, which the look-up by offset relies on.
        if (!m_synsets.empty() && quint32(m_synsets.size()) > m_firstSynset[p]
            && synset.offset <= previousOffset) {
            ok = false;
            return;
        }
        previousOffset = synset.offset;
        const quint32 id = quint32(m_synsets.size());
        const bool satellite = type == "s";
        for (quint32 i = 0; i < pointerCount; ++i) {
            const std::string_view symbol = fields.next();
            const std::string_view target = fields.next();
            const std::string_view targetPos = fields.next();
            fields.next();
            quint32 offset = 0;
            Association association = Association::Whole;
            synset.instance = synset.instance || symbol == "@i";
            const Kept kept = keptPointer(symbol, pos, satellite, association);
            if (kept == Kept::No)
                continue;
            const auto to = targetPos.size() == 1 ? posFromLetter(targetPos[0]) : std::nullopt;
            if (!to || !parseNumber(target, 10, offset)) {
                ok = false;
                return;
            }
            pointers.push_back({id, offset, *to,
                kept == Kept::Associated ? std::optional<Association>(association) : std::nullopt});
        }
        const size_t bar = line.find(" | ");
        if (bar != std::string_view::npos) {
            std::string_view gloss = line.substr(bar + 3);
            // The definition ends where the quoted usage examples begin.
            const size_t quote = gloss.find('"');
            if (quote != std::string_view::npos)
                gloss = gloss.substr(0, quote);
            while (!gloss.empty() && (gloss.back() == ' ' || gloss.back() == ';'))
                gloss.remove_suffix(1);
            synset.definitionBegin = quint32(lineStart + bar + 3);
            synset.definitionLength = quint16(std::min<size_t>(gloss.size(), 0xffff));
        }
        m_synsets.push_back(synset);
    });
    m_synsetEnd[p] = quint32(m_synsets.size());
    return ok && m_synsetEnd[p] > m_firstSynset[p];
}

std::optional<quint32> WordNet::synsetAt(WordNetPos pos, quint32 offset) const
{
    const size_t p = size_t(pos);
    const auto begin = m_synsets.begin() + m_firstSynset[p];
    const auto end = m_synsets.begin() + m_synsetEnd[p];
    const auto found = std::lower_bound(begin, end, offset,
        [](const Synset& synset, quint32 value) { return synset.offset < value; });
    if (found == end || found->offset != offset)
        return std::nullopt;
    return quint32(found - m_synsets.begin());
}

bool WordNet::resolvePointers(const std::vector<Pointer>& pointers)
{
    // Pointers were gathered synset by synset, so each synset's run is contiguous.
    size_t i = 0;
    while (i < pointers.size()) {
        const quint32 from = pointers[i].from;
        Synset& synset = m_synsets[from];
        synset.broaderBegin = quint32(m_broader.size());
        synset.associatedBegin = quint32(m_associated.size());
        for (; i < pointers.size() && pointers[i].from == from; ++i) {
            const auto target = synsetAt(pointers[i].pos, pointers[i].offset);
            if (!target)
                return false;
            if (pointers[i].association)
                m_associated.push_back({*target, *pointers[i].association});
            else
                m_broader.push_back(*target);
        }
        synset.broaderCount = quint16(m_broader.size() - synset.broaderBegin);
        synset.associatedCount = quint16(m_associated.size() - synset.associatedBegin);
    }
    return true;
}

bool WordNet::readIndex(const QByteArray& bytes, WordNetPos pos)
{
    const size_t p = size_t(pos);
    bool ok = true;
    forEachLine(bytes, [&](std::string_view line, size_t) {
        if (!ok)
            return;
        Fields fields(line);
        const std::string_view lemma = fields.next();
        fields.next();
        quint32 synsetCount = 0;
        quint32 pointerCount = 0;
        if (!parseNumber(fields.next(), 10, synsetCount) || !parseNumber(fields.next(), 10, pointerCount)) {
            ok = false;
            return;
        }
        for (quint32 i = 0; i < pointerCount; ++i)
            fields.next();
        fields.next(); // sense count, the same as the synset count
        fields.next(); // how many senses were tagged
        if (const size_t joint = lemma.find('_'); joint != std::string_view::npos && joint > 0)
            m_collocationHeads.insert(lemma.substr(0, joint));
        Lemma& entry = m_lemmas[lemma];
        entry.first[p] = quint32(m_senses.size());
        for (quint32 i = 0; i < synsetCount; ++i) {
            quint32 offset = 0;
            if (!parseNumber(fields.next(), 10, offset)) {
                ok = false;
                return;
            }
            const auto synset = synsetAt(pos, offset);
            if (synset)
                m_senses.push_back({*synset, 0});
        }
        entry.count[p] = quint16(std::min<size_t>(m_senses.size() - entry.first[p], 0xffff));
    });
    return ok;
}

void WordNet::readExceptions(const QByteArray& bytes, WordNetPos pos)
{
    auto& exceptions = m_exceptions[size_t(pos)];
    forEachLine(bytes, [&](std::string_view line, size_t) {
        Fields fields(line);
        const std::string_view inflected = fields.next();
        for (std::string_view base = fields.next(); !base.empty(); base = fields.next())
            exceptions.emplace_back(inflected, base);
    });
    std::stable_sort(exceptions.begin(), exceptions.end(),
        [](const auto& a, const auto& b) { return a.first < b.first; });
}

void WordNet::readTagCounts(const QByteArray& bytes)
{
    // "lemma%type:file:id:head:headid sense_number tag_count"; type 1 noun, 2 verb, 3 adjective,
    // 4 adverb, 5 satellite adjective. Senses are numbered in the index's order.
    forEachLine(bytes, [&](std::string_view line, size_t) {
        Fields fields(line);
        const std::string_view key = fields.next();
        quint32 number = 0;
        quint32 count = 0;
        const size_t percent = key.find('%');
        if (percent == std::string_view::npos || percent + 1 >= key.size()
            || !parseNumber(fields.next(), 10, number) || !parseNumber(fields.next(), 10, count)
            || number == 0)
            return;
        static constexpr std::optional<WordNetPos> types[] = {std::nullopt, WordNetPos::Noun,
            WordNetPos::Verb, WordNetPos::Adjective, WordNetPos::Adverb, WordNetPos::Adjective};
        const int type = key[percent + 1] - '0';
        if (type < 1 || type > 5)
            return;
        const auto found = m_lemmas.find(key.substr(0, percent));
        if (found == m_lemmas.end())
            return;
        const size_t p = size_t(*types[type]);
        if (number <= found->second.count[p])
            m_senses[found->second.first[p] + number - 1].tagCount = count;
    });
}

void WordNet::computeSpecificity()
{
    // A concept's specificity grows with the share of its part of speech that lies outside its
    // subtree (the log of the total over the number of narrower concepts, shared descendants
    // counted once): "entity" and "act" count nearly nothing, a leaf counts fully.
    std::vector<quint32> narrower(m_synsets.size(), 0);
    std::vector<quint32> visitedBy(m_synsets.size(), std::numeric_limits<quint32>::max());
    std::vector<quint32> stack;
    for (const WordNetPos pos : {WordNetPos::Noun, WordNetPos::Verb}) {
        const size_t p = size_t(pos);
        for (quint32 id = m_firstSynset[p]; id < m_synsetEnd[p]; ++id) {
            stack.assign(1, id);
            while (!stack.empty()) {
                const quint32 current = stack.back();
                stack.pop_back();
                for (const quint32 up : broader(current)) {
                    if (m_synsets[up].pos != pos || visitedBy[up] == id)
                        continue;
                    visitedBy[up] = id;
                    ++narrower[up];
                    stack.push_back(up);
                }
            }
        }
        const double total = double(m_synsetEnd[p] - m_firstSynset[p]);
        for (quint32 id = m_firstSynset[p]; id < m_synsetEnd[p]; ++id) {
            const double content = std::log(total / (1.0 + narrower[id]));
            m_synsets[id].specificity = float(std::clamp((content - 2.0) / 4.5, 0.0, 1.0));
        }
    }
}

void WordNet::collectNarrower()
{
    m_narrowerBegin.assign(m_synsets.size() + 1, 0);
    for (const quint32 up : m_broader)
        ++m_narrowerBegin[up + 1];
    for (size_t i = 1; i < m_narrowerBegin.size(); ++i)
        m_narrowerBegin[i] += m_narrowerBegin[i - 1];
    m_narrower.resize(m_broader.size());
    std::vector<quint32> next(m_narrowerBegin.begin(), m_narrowerBegin.end() - 1);
    for (quint32 id = 0; id < synsetCount(); ++id) {
        for (const quint32 up : broader(id))
            m_narrower[next[up]++] = id;
    }
}

std::span<const quint32> WordNet::narrower(quint32 synset) const
{
    return {m_narrower.data() + m_narrowerBegin[synset], m_narrowerBegin[synset + 1] - m_narrowerBegin[synset]};
}

void WordNet::countDefinitionWords()
{
    std::vector<std::string_view> words;
    std::string lowered;
    m_definitionCounts.reserve(160'000);
    // The definitions are read in the order of their files, and what lies behind goes back as
    // the reading moves on: the words counted are kept apart from the files, or every word seen
    // again would bring back the page it was first seen on.
    constexpr quint32 kSynsetsBetweenDrops = 4096;
    for (quint32 id = 0; id < synsetCount(); ++id) {
        if (id % kSynsetsBetweenDrops == 0 && id > 0) {
            const QByteArray& file = m_data[size_t(pos(id - 1))];
            dropMappedPages(file.constData(), std::min<size_t>(m_synsets[id - 1].definitionBegin, size_t(file.size())));
        }
        const std::string_view text = definition(id);
        words.clear();
        size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && !std::isalpha(quint8(text[i])))
                ++i;
            const size_t start = i;
            bool upper = false;
            while (i < text.size() && std::isalpha(quint8(text[i]))) {
                upper = upper || std::isupper(quint8(text[i]));
                ++i;
            }
            if (i == start)
                break;
            std::string_view word = text.substr(start, i - start);
            if (upper) {
                lowered.assign(word);
                for (char& c : lowered)
                    c = char(std::tolower(quint8(c)));
                word = lowered;
            }
            auto counted = m_definitionCounts.find(word);
            if (counted == m_definitionCounts.end())
                counted = m_definitionCounts.emplace(keepDefinitionWord(word), 0).first;
            if (std::find(words.begin(), words.end(), counted->first) == words.end())
                words.push_back(counted->first);
        }
        for (const std::string_view word : words)
            ++m_definitionCounts.find(word)->second;
    }
}

std::string_view WordNet::keepDefinitionWord(std::string_view word)
{
    constexpr size_t kChunkBytes = 64 * 1024;
    if (m_definitionWords.empty() || m_definitionWordsUsed + word.size() > kChunkBytes) {
        m_definitionWords.push_back(std::make_unique<char[]>(std::max(kChunkBytes, word.size())));
        m_definitionWordsUsed = 0;
    }
    char* const kept = m_definitionWords.back().get() + m_definitionWordsUsed;
    std::memcpy(kept, word.data(), word.size());
    m_definitionWordsUsed += word.size();
    return {kept, word.size()};
}

float WordNet::informativeness(std::string_view word) const
{
    const auto found = m_definitionCounts.find(word);
    const double count = found == m_definitionCounts.end() ? 0.0 : double(found->second);
    const double total = double(synsetCount()) + 1.0;
    return float(std::log(total / (count + 1.0)) / std::log(total));
}

std::span<const WordNet::Sense> WordNet::senses(std::string_view lemma, WordNetPos pos) const
{
    const auto found = m_lemmas.find(lemma);
    if (found == m_lemmas.end())
        return {};
    const size_t p = size_t(pos);
    return {m_senses.data() + found->second.first[p], found->second.count[p]};
}

std::string_view WordNet::lookupKey(std::string_view lemma, WordNetPos pos) const
{
    const auto found = m_lemmas.find(lemma);
    if (found == m_lemmas.end() || found->second.count[size_t(pos)] == 0)
        return {};
    return found->first;
}

int WordNet::baseForms(std::string_view word, WordNetPos pos, std::span<std::string_view> out) const
{
    int count = 0;
    const auto add = [&](std::string_view key) {
        if (key.empty() || count >= int(out.size()))
            return;
        for (int i = 0; i < count; ++i) {
            if (out[size_t(i)] == key)
                return;
        }
        out[size_t(count++)] = key;
    };
    const auto& exceptions = m_exceptions[size_t(pos)];
    for (auto it = std::lower_bound(exceptions.begin(), exceptions.end(), word,
             [](const auto& entry, std::string_view key) { return entry.first < key; });
         it != exceptions.end() && it->first == word; ++it)
        add(lookupKey(it->second, pos));
    add(lookupKey(word, pos));
    std::string candidate;
    for (const Rule& rule : detachmentRules(pos)) {
        if (word.size() <= rule.suffix.size() || !word.ends_with(rule.suffix))
            continue;
        candidate.assign(word.substr(0, word.size() - rule.suffix.size()));
        candidate.append(rule.ending);
        add(lookupKey(candidate, pos));
    }
    return count;
}

std::span<const quint32> WordNet::broader(quint32 synset) const
{
    const Synset& s = m_synsets[synset];
    return {m_broader.data() + s.broaderBegin, s.broaderCount};
}

std::span<const WordNet::Link> WordNet::associated(quint32 synset) const
{
    const Synset& s = m_synsets[synset];
    return {m_associated.data() + s.associatedBegin, s.associatedCount};
}

std::string_view WordNet::definition(quint32 synset) const
{
    const Synset& s = m_synsets[synset];
    const QByteArray& bytes = m_data[size_t(s.pos)];
    return {bytes.constData() + s.definitionBegin, s.definitionLength};
}

std::vector<QByteArray> WordNet::mappedFiles() const
{
    std::vector<QByteArray> files;
    for (const auto* group : {&m_data, &m_index, &m_exceptionFiles})
        files.insert(files.end(), group->begin(), group->end());
    return files;
}

} // namespace vesk
