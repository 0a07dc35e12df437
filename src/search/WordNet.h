#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vesk {

enum class WordNetPos : quint8 { Noun = 0, Verb = 1, Adjective = 2, Adverb = 3 };
inline constexpr int wordNetPosCount = 4;

// The English WordNet 3.0 dictionary (the files of Debian's wordnet-base), read into memory
// once: lemmas with their senses in WordNet's sense order and tagged frequencies, synsets with
// their broader concepts and definitions, and the inflection rules and exception lists that lead
// from a word to its base forms.
//
// Lemmas are lower case with words joined by "_" ("ice_cream"), as WordNet writes them. After
// loading the object is only read, so it may be shared between threads.
class WordNet {
public:
    struct Sense {
        quint32 synset = 0;
        quint32 tagCount = 0; // how often the sense was seen in WordNet's tagged texts
    };

    // Reads the dictionary files from folder (normally /usr/share/wordnet).
    static Expected<std::unique_ptr<WordNet>, QString> load(const QString& folder);

    // Hands back the pages of the dictionary's files that lookups have brought in since: tens of
    // megabytes after a few searches, read again from the file cache when next needed.
    void dropFilePages() const;

    WordNet(const WordNet&) = delete;
    WordNet& operator=(const WordNet&) = delete;

    // The senses of lemma as pos, most frequent first (WordNet's order); empty when unknown.
    std::span<const Sense> senses(std::string_view lemma, WordNetPos pos) const;
    bool contains(std::string_view lemma, WordNetPos pos) const { return !senses(lemma, pos).empty(); }

    // The base forms of a lower-case word as pos, by the exception list and the detachment rules
    // of that part of speech; only forms WordNet knows are given, each once, at most `out.size()`.
    // The views stay valid as long as the dictionary.
    int baseForms(std::string_view word, WordNetPos pos, std::span<std::string_view> out) const;

    // Whether some lemma of several words begins with this word ("ice" of "ice_cream").
    bool beginsCollocation(std::string_view word) const { return m_collocationHeads.contains(word); }

    quint32 synsetCount() const { return quint32(m_synsets.size()); }
    WordNetPos pos(quint32 synset) const { return m_synsets[synset].pos; }
    // The synset's byte offset in its data file: with the part of speech, its stable name.
    quint32 offset(quint32 synset) const { return m_synsets[synset].offset; }
    // The concepts one step broader: hypernyms and instance hypernyms of nouns and verbs, the
    // head of a satellite adjective and the attributes of an adjective, the adjective an adverb
    // derives from.
    std::span<const quint32> broader(quint32 synset) const;
    // Concepts associated without being broader: the wholes a thing is part or member of and
    // its parts and members, the words derived from the same root, the adjectives similar to a
    // head adjective, what a verb entails or causes and the verbs of its group, the topic a
    // concept belongs to and the concepts of a topic.
    enum class Association : quint8 { Whole, Part, Derived, Similar, Entailed, Topic, TopicMember };
    struct Link {
        quint32 synset;
        Association kind;
    };
    std::span<const Link> associated(quint32 synset) const;
    // The concepts one step narrower: those whose broader concepts include this one.
    std::span<const quint32> narrower(quint32 synset) const;
    // Whether the synset is one particular thing (a city, a person) rather than a kind of thing.
    bool isInstance(quint32 synset) const { return m_synsets[synset].instance; }
    // How specific the concept is, from 0 (near the root: "entity", "act") to 1 (a concept with
    // few narrower ones). Adjectives and adverbs, which form no hierarchy, count as specific.
    float specificity(quint32 synset) const { return m_synsets[synset].specificity; }
    // The definition, without the usage examples that follow it.
    std::string_view definition(quint32 synset) const;
    // How much a lower-case word tells about a text, from 0 for a word in every definition of
    // the dictionary to 1 for a word in none: a stand-in for how rare the word is in English.
    float informativeness(std::string_view word) const;

private:
    struct Synset {
        quint32 offset = 0;
        quint32 broaderBegin = 0;
        quint32 definitionBegin = 0;
        quint32 associatedBegin = 0;
        quint16 broaderCount = 0;
        quint16 associatedCount = 0;
        quint16 definitionLength = 0;
        WordNetPos pos = WordNetPos::Noun;
        bool instance = false;
        float specificity = 1.0f;
    };
    struct Lemma {
        std::array<quint32, wordNetPosCount> first{};
        std::array<quint16, wordNetPosCount> count{};
    };
    struct Pointer {
        quint32 from;
        quint32 offset;
        WordNetPos pos;
        std::optional<Association> association; // none: broader
    };

    WordNet() = default;

    bool readData(const QByteArray& bytes, WordNetPos pos, std::vector<Pointer>& pointers);
    bool resolvePointers(const std::vector<Pointer>& pointers);
    bool readIndex(const QByteArray& bytes, WordNetPos pos);
    void readExceptions(const QByteArray& bytes, WordNetPos pos);
    void readTagCounts(const QByteArray& bytes);
    void computeSpecificity();
    void collectNarrower();
    void countDefinitionWords();
    // A copy of word that lasts as long as the dictionary.
    std::string_view keepDefinitionWord(std::string_view word);
    std::string_view lookupKey(std::string_view lemma, WordNetPos pos) const;
    std::optional<quint32> synsetAt(WordNetPos pos, quint32 offset) const;
    std::vector<QByteArray> mappedFiles() const;

    // The file contents stay mapped: lemmas, exception forms and definitions are views of them.
    // Declared first, so that the mappings go after every view of them.
    std::vector<std::unique_ptr<QFile>> m_mappings;
    std::array<QByteArray, wordNetPosCount> m_data;
    std::array<QByteArray, wordNetPosCount> m_index;
    std::array<QByteArray, wordNetPosCount> m_exceptionFiles;

    std::vector<Synset> m_synsets;
    std::vector<quint32> m_broader;
    std::vector<Link> m_associated;
    // Synset s's narrower concepts are m_narrower[m_narrowerBegin[s] .. m_narrowerBegin[s + 1]).
    std::vector<quint32> m_narrower;
    std::vector<quint32> m_narrowerBegin;
    // Synset ids of each part of speech are consecutive and ascending by offset.
    std::array<quint32, wordNetPosCount> m_firstSynset{};
    std::array<quint32, wordNetPosCount> m_synsetEnd{};
    std::unordered_map<std::string_view, Lemma> m_lemmas;
    std::vector<Sense> m_senses;
    std::unordered_set<std::string_view> m_collocationHeads;
    // Number of definitions each word occurs in.
    std::unordered_map<std::string_view, quint32> m_definitionCounts;
    // The words of m_definitionCounts, side by side in chunks that never move.
    std::vector<std::unique_ptr<char[]>> m_definitionWords;
    size_t m_definitionWordsUsed = 0; // in the last chunk
    // (inflected form, base form), by inflected form, each form's bases in the file's order.
    std::array<std::vector<std::pair<std::string_view, std::string_view>>, wordNetPosCount>
        m_exceptions;
};

} // namespace vesk
