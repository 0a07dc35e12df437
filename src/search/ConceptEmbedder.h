#pragma once

#include "search/WordNet.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vesk {

// Turns English text into a vector of fixed length whose cosine with another text's vector
// grows with what the two texts mean in common, through the concepts of WordNet.
//
// Each word is reduced to its base forms; each of its senses counts by how often it is used,
// together with the broader concepts above it (weighed by how specific they are), the concepts
// WordNet links it to (wholes and parts, words of the same root, similar adjectives, what a verb
// entails, topics; each further step weaker) and the content words of its definition. A
// search's words reach a step further than an item's. A text's features are summed, damped so that
// no single word dominates, and spread into the vector by a fixed pseudo-random projection. Every
// vector also carries one shared component, so that texts about unrelated things still have a
// small similarity and texts about the same thing clearly more. The result depends on nothing but
// the text and the dictionary: the same on every run and machine. A search's shared component is
// a little smaller than an item's, as its wider reach brings it nearer to unrelated items.
//
// Not thread-safe: it keeps caches of what it has worked out. One instance per thread.
class ConceptEmbedder {
public:
    static constexpr int dimensions = 512;

    explicit ConceptEmbedder(std::shared_ptr<const WordNet> wordNet);

    // The unit-length vector of text; empty only when the text holds no visible character.
    std::vector<float> embed(const QString& text);
    // The same for a search: its words reach further through the dictionary than an item's, as
    // a search names what it looks for in a few words and an item says it in its own.
    std::vector<float> embedQuery(const QString& text);

    // Lets go of everything the caches hold, memory included. Vectors do not depend on them: the
    // next texts are as they would have been, only slower until the words they use are kept again.
    void releaseCaches();

    // One feature of a text: a concept or a word, and how much of it the text holds.
    struct Feature {
        quint64 key;
        float weight;
    };
    using Features = std::vector<Feature>;

private:

    struct SenseShare {
        quint32 synset;
        float share;
    };
    // What WordNet makes of one word: its base form, how much it tells, its likely senses.
    struct Reading {
        quint64 lemmaKey = 0; // of the base form, or of the word itself when WordNet lacks it
        float informative = 1.0f;
        std::vector<SenseShare> senses;
    };
    Reading read(std::string_view word) const;
    // The damped features of a word, or of a collocation joined by "_".
    Features wordFeatures(std::string_view word, bool wide);
    std::vector<float> embedText(const QString& text, bool wide);
    static void project(const Features& features, float* into);
    // A projected vector (all 512 values, the first 0) kept in 8 bits per value: value d is
    // values[d] × scale. Texts are always summed from this form, kept or not, so that a text's
    // vector never depends on what the caches hold.
    struct PackedVector {
        std::unique_ptr<qint8[]> values;
        float scale = 0.0f;
    };
    static void pack(const Features& features, PackedVector& into);
    // A word's projection: a kept one, or scratch filled for this once.
    const PackedVector& wordVector(std::string_view word, PackedVector& scratch);
    // The same for two words that WordNet knows as one; null when it does not.
    const PackedVector* collocationVector(std::string_view joined);
    const Reading& definitionReading(std::string_view word);
    const Features& definitionFeatures(quint32 synset);
    void addConcepts(quint32 synset, float share, bool wide, Features& features);
    void addLinks(quint32 synset, float weight, bool wide, Features& features);

    std::shared_ptr<const WordNet> m_wordNet;
    // Features are projected onto dimensions 1 to 511 (0 is the shared component). The caches
    // are bounded (at most about 30 MB of vectors and 40 MB of features, readings and
    // definitions) and trimmed when full; the words used most stay.
    static constexpr int projectedDimensions = dimensions - 1;
    static constexpr size_t maxCachedWords = 49'152;
    static constexpr size_t maxCachedCollocations = 4'096;
    static constexpr size_t maxCachedFeatures = 32'768;
    struct TextHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    struct CachedVector {
        PackedVector vector; // no values: not a collocation
        bool used = true;    // since the cache was last trimmed
    };
    using VectorCache = std::unordered_map<std::string, CachedVector, TextHash, std::equal_to<>>;
    // Drops what was not used since the last trim, or everything when that is not enough.
    static void trim(VectorCache& cache, size_t limit);
    VectorCache m_wordVectors;
    VectorCache m_collocationVectors;
    std::unordered_map<std::string, Features, TextHash, std::equal_to<>> m_wordFeatures;
    std::unordered_map<std::string, Reading, TextHash, std::equal_to<>> m_definitionReadings;
    std::vector<Features> m_definitionCache;
    std::vector<bool> m_definitionDone;
    std::vector<quint32> m_definitionsCached;
};

} // namespace vesk
