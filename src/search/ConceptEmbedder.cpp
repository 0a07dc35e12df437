#include "search/ConceptEmbedder.h"

#include "search/EmbeddingWords.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

namespace vesk {

namespace {
// How much each kind of feature counts, relative to one sense of a word.
constexpr float kLemmaWeight = 0.6f;        // the word's own base form
// Each level of broader concepts, up to three, counts this much more than the one below it,
// before its specificity (which falls as concepts grow broader) scales it: two words meet most
// often at a concept a level or two above both.
constexpr float kBroaderFactor = 1.2f;
constexpr int kBroaderLevels = 3;
constexpr float kDefinitionWeight = 1.0f;   // all content words of the definition together
// The likely senses of a definition's words, up to five of each: a definition seldom uses a word
// in its commonest sense alone, and its other senses often name what the concept goes with.
constexpr float kDefinitionSenseWeight = 5.0f;
constexpr int kDefinitionSenses = 5;
constexpr float kCollocationWeight = 1.0f;  // a collocation beside its two words

// Concepts associated with a sense, by kind of link: what it is part or member of, its parts and
// members, words of the same root, similar adjectives, what a verb entails, its topic and the
// concepts of a topic it is. A concept with many links of one kind shares the weight among them.
constexpr std::array<float, 7> kLinkWeight = {
    0.4f, // Whole
    0.35f, // Part
    0.6f, // Derived
    0.5f, // Similar
    0.4f, // Entailed
    0.35f, // Topic
    0.3f, // TopicMember
};
constexpr int kLinksAtFullWeight = 3;
// An associated concept's own broader concept, one more step away.
constexpr float kLinkBroaderDecay = 0.25f;
// A search reaches one step further than an item: the links of linked concepts, and the
// narrower concepts of its words, as a search names in general terms what a note says in
// particular ones.
constexpr float kSecondLinkDecay = 0.6f;
constexpr float kNarrowerWeight = 0.25f;
// The definitions of the concepts linked to a search's words, and of the concepts just above a
// word (for an item, for a search).
constexpr float kLinkDefinitionWeight = 0.25f;
constexpr std::array<float, 2> kBroaderDefinitionWeight = {0.125f, 0.1f};

// Sense shares: tagged counts plus a prior that falls along WordNet's order; nouns a little
// ahead, as notes are mostly about things. Senses below 4 % or past the sixth are dropped.
constexpr float kSensePrior = 1.0f;
constexpr float kSensePriorDecay = 0.6f;
constexpr std::array<float, wordNetPosCount> kPosBias = {1.3f, 1.0f, 1.0f, 1.0f};
constexpr float kMinSenseShare = 0.04f;
// Text is read in lower case, so "tyre" might be the city of Tyre and "barber" the composer;
// particular places and people count less than kinds of things when a word can be either.
constexpr float kInstanceFactor = 0.25f;
constexpr size_t kMaxSenses = 6;

// Each feature is spread over this many dimensions with pseudo-random signs.
constexpr int kSpread = 8;
// The weight of the shared component beside a unit feature vector. Unrelated texts then have a
// cosine near 0.27² / (1 + 0.27²) ≈ 0.07 instead of 0; chosen so that 99 in 100 pairs of
// unrelated texts stay under the 0.24 at which search by meaning starts to count a match.
constexpr double kSharedWeight = 0.27;
// A search's vector reaches further and so meets unrelated items a little more often than an
// item meets another; its shared component is a little smaller, so that a search, too, comes as
// close as 0.24 to fewer than 1 in 100 unrelated items. Items' stored vectors do not depend on it.
constexpr double kQuerySharedWeight = 0.26;

// splitmix64's finaliser: a fixed, well-spread 64-bit mix.
quint64 mix64(quint64 x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// FNV-1a over the word's UTF-8 bytes; the same on every machine, unlike the library hashes.
quint64 wordKey(std::string_view word)
{
    quint64 hash = 0xcbf29ce484222325ull;
    for (const char c : word) {
        hash ^= quint8(c);
        hash *= 0x100000001b3ull;
    }
    return mix64(hash);
}

quint64 conceptKey(const WordNet& wordNet, quint32 synset)
{
    return mix64((quint64(quint8(wordNet.pos(synset)) + 1) << 40) ^ wordNet.offset(synset)
        ^ 0x2545f4914f6cdd1dull);
}

// The shortest of the base forms, which joins a noun in "-ing" or "-er" with its verb
// ("meeting" and "meet"); the word itself when there is none.
std::string_view canonicalOf(std::string_view word,
    const std::array<std::array<std::string_view, 3>, wordNetPosCount>& bases,
    const std::array<int, wordNetPosCount>& counts)
{
    std::string_view best;
    for (int p = 0; p < wordNetPosCount; ++p) {
        for (int i = 0; i < counts[size_t(p)]; ++i) {
            const std::string_view base = bases[size_t(p)][size_t(i)];
            if (best.empty() || base.size() < best.size())
                best = base;
        }
    }
    return best.empty() ? word : best;
}

int allBaseForms(const WordNet& wordNet, std::string_view word,
    std::array<std::array<std::string_view, 3>, wordNetPosCount>& bases,
    std::array<int, wordNetPosCount>& counts)
{
    int total = 0;
    for (int p = 0; p < wordNetPosCount; ++p) {
        counts[size_t(p)] = wordNet.baseForms(word, WordNetPos(p), bases[size_t(p)]);
        total += counts[size_t(p)];
    }
    return total;
}

// out += scale × values, over a whole vector; separate pointers and a fixed length let the
// compiler use vector instructions.
void addScaled(float* __restrict out, const qint8* __restrict values, float scale)
{
    for (int d = 0; d < ConceptEmbedder::dimensions; ++d)
        out[d] += scale * float(values[d]);
}

} // namespace

ConceptEmbedder::ConceptEmbedder(std::shared_ptr<const WordNet> wordNet)
    : m_wordNet(std::move(wordNet)),
      m_definitionCache(m_wordNet->synsetCount()),
      m_definitionDone(m_wordNet->synsetCount(), false)
{
}

ConceptEmbedder::Reading ConceptEmbedder::read(std::string_view word) const
{
    const WordNet& wordNet = *m_wordNet;
    std::array<std::array<std::string_view, 3>, wordNetPosCount> bases;
    std::array<int, wordNetPosCount> counts{};
    Reading reading;
    if (allBaseForms(wordNet, word, bases, counts) == 0) {
        reading.lemmaKey = wordKey(word);
        return reading;
    }
    const std::string_view canonical = canonicalOf(word, bases, counts);
    reading.lemmaKey = wordKey(canonical);
    // Frequent words say little about what a text is about.
    reading.informative = std::max(wordNet.informativeness(word),
        wordNet.informativeness(canonical));

    // Each sense by how often it was seen, plus a little for its place in WordNet's order, so
    // that senses never seen still rank as WordNet ranks them.
    for (int p = 0; p < wordNetPosCount; ++p) {
        const int count = counts[size_t(p)];
        for (int b = 0; b < count; ++b) {
            float prior = kSensePrior;
            for (const WordNet::Sense& sense : wordNet.senses(bases[size_t(p)][size_t(b)], WordNetPos(p))) {
                const float instance = wordNet.isInstance(sense.synset) ? kInstanceFactor : 1.0f;
                reading.senses.push_back({sense.synset,
                    (float(sense.tagCount) + prior) * kPosBias[size_t(p)] * instance / float(count)});
                prior *= kSensePriorDecay;
            }
        }
    }
    float total = 0.0f;
    for (const SenseShare& sense : reading.senses)
        total += sense.share;
    for (SenseShare& sense : reading.senses)
        sense.share /= total;
    std::stable_sort(reading.senses.begin(), reading.senses.end(),
        [](const SenseShare& a, const SenseShare& b) { return a.share > b.share; });
    size_t kept = 0;
    while (kept < reading.senses.size() && kept < kMaxSenses
        && reading.senses[kept].share >= kMinSenseShare)
        ++kept;
    reading.senses.resize(kept);
    return reading;
}

const ConceptEmbedder::Reading& ConceptEmbedder::definitionReading(std::string_view word)
{
    auto found = m_definitionReadings.find(word);
    if (found == m_definitionReadings.end())
        found = m_definitionReadings.emplace(std::string(word), read(word)).first;
    return found->second;
}

const ConceptEmbedder::Features& ConceptEmbedder::definitionFeatures(quint32 synset)
{
    if (m_definitionDone[synset])
        return m_definitionCache[synset];
    m_definitionDone[synset] = true;
    m_definitionsCached.push_back(synset);
    std::vector<const Reading*> readings;
    forEachEnglishWord(m_wordNet->definition(synset), [&](std::string_view word, bool) {
        if (!isContentWord(word))
            return;
        const Reading& reading = definitionReading(word);
        for (const Reading* known : readings) {
            if (known->lemmaKey == reading.lemmaKey)
                return;
        }
        readings.push_back(&reading);
    });
    Features& features = m_definitionCache[synset];
    if (readings.empty())
        return features;
    const float each = 1.0f / std::sqrt(float(readings.size()));
    for (const Reading* reading : readings) {
        const float weight = each * reading->informative;
        features.push_back({reading->lemmaKey, weight});
        for (size_t i = 0; i < reading->senses.size() && i < size_t(kDefinitionSenses); ++i)
            features.push_back({conceptKey(*m_wordNet, reading->senses[i].synset),
                weight * reading->senses[i].share * kDefinitionSenseWeight
                    * m_wordNet->specificity(reading->senses[i].synset)});
    }
    return features;
}

namespace {

float linkShare(std::span<const WordNet::Link> links, WordNet::Association kind)
{
    int count = 0;
    for (const WordNet::Link& link : links)
        count += link.kind == kind;
    return count <= kLinksAtFullWeight ? 1.0f : std::sqrt(float(kLinksAtFullWeight) / float(count));
}

} // namespace

void ConceptEmbedder::addLinks(quint32 synset, float weight, bool wide, Features& features)
{
    const WordNet& wordNet = *m_wordNet;
    const std::span<const WordNet::Link> links = wordNet.associated(synset);
    std::array<float, kLinkWeight.size()> shares{};
    for (size_t k = 0; k < shares.size(); ++k)
        shares[k] = linkShare(links, WordNet::Association(k));
    for (const WordNet::Link& link : links) {
        const float linked = weight * kLinkWeight[size_t(link.kind)] * shares[size_t(link.kind)];
        features.push_back({conceptKey(wordNet, link.synset), linked * wordNet.specificity(link.synset)});
        for (const quint32 up : wordNet.broader(link.synset))
            features.push_back({conceptKey(wordNet, up), linked * kLinkBroaderDecay * wordNet.specificity(up)});
        if (wide)
            addLinks(link.synset, linked * kSecondLinkDecay, false, features);
        if (wide) {
            const float linkGloss = linked * kLinkDefinitionWeight;
            for (const Feature& feature : definitionFeatures(link.synset))
                features.push_back({feature.key, feature.weight * linkGloss});
        }
    }
}

void ConceptEmbedder::addConcepts(quint32 synset, float share, bool wide, Features& features)
{
    const WordNet& wordNet = *m_wordNet;
    features.push_back({conceptKey(wordNet, synset), share * wordNet.specificity(synset)});
    std::array<quint32, 16> seen{synset};
    size_t seenCount = 1;
    std::array<quint32, 16> frontier{synset};
    size_t frontierCount = 1;
    float weight = share;
    for (int level = 0; level < kBroaderLevels && frontierCount > 0; ++level) {
        weight *= kBroaderFactor;
        std::array<quint32, 16> next{};
        size_t nextCount = 0;
        for (size_t f = 0; f < frontierCount; ++f) {
            for (const quint32 up : wordNet.broader(frontier[f])) {
                if (seenCount == seen.size() || nextCount == next.size())
                    break;
                if (std::find(seen.begin(), seen.begin() + ptrdiff_t(seenCount), up)
                    != seen.begin() + ptrdiff_t(seenCount))
                    continue;
                seen[seenCount++] = up;
                next[nextCount++] = up;
                features.push_back({conceptKey(wordNet, up), weight * wordNet.specificity(up)});
                if (level == 0) {
                    const float upGloss = weight * (wide ? kBroaderDefinitionWeight[1] : kBroaderDefinitionWeight[0]);
                    for (const Feature& feature : definitionFeatures(up))
                        features.push_back({feature.key, feature.weight * upGloss});
                }
            }
        }
        frontier = next;
        frontierCount = nextCount;
    }
    addLinks(synset, share, wide, features);
    if (wide) {
        const std::span<const quint32> below = wordNet.narrower(synset);
        const float each = share * kNarrowerWeight / std::sqrt(float(std::max<size_t>(1, below.size())));
        for (const quint32 down : below)
            features.push_back({conceptKey(wordNet, down), each * wordNet.specificity(down)});
    }
    const float gloss = share * kDefinitionWeight;
    for (const Feature& feature : definitionFeatures(synset))
        features.push_back({feature.key, feature.weight * gloss});
}

ConceptEmbedder::Features ConceptEmbedder::wordFeatures(std::string_view word, bool wide)
{
    const Reading reading = read(word);
    Features features;
    features.push_back({reading.lemmaKey, kLemmaWeight * reading.informative});
    for (const SenseShare& sense : reading.senses)
        addConcepts(sense.synset, sense.share * reading.informative, wide, features);
    // One entry per feature: senses share broader concepts and definition words.
    std::sort(features.begin(), features.end(),
        [](const Feature& a, const Feature& b) { return a.key < b.key; });
    size_t out = 0;
    for (size_t i = 0; i < features.size(); ++i) {
        if (out > 0 && features[out - 1].key == features[i].key)
            features[out - 1].weight += features[i].weight;
        else
            features[out++] = features[i];
    }
    features.resize(out);
    // The damping keeps a word's many small concepts in play beside its few large ones.
    for (Feature& feature : features)
        feature.weight = feature.weight > 0.0f ? std::sqrt(feature.weight) : 0.0f;
    return features;
}

void ConceptEmbedder::project(const Features& features, float* into)
{
    const float spread = 1.0f / std::sqrt(float(kSpread));
    for (const Feature& feature : features) {
        if (feature.weight <= 0.0f)
            continue;
        const float value = feature.weight * spread;
        quint64 bits = feature.key;
        for (int j = 0; j < kSpread; j += 2) {
            bits = mix64(bits);
            for (int half = 0; half < 2 && j + half < kSpread; ++half) {
                const quint32 part = quint32(bits >> (32 * half));
                const size_t index = 1 + size_t((quint64(part & 0x7fffffffu) * projectedDimensions) >> 31);
                into[index] += (part & 0x80000000u) ? -value : value;
            }
        }
    }
}

void ConceptEmbedder::pack(const Features& features, PackedVector& into)
{
    std::array<float, dimensions> projected{};
    project(features, projected.data());
    float largest = 0.0f;
    for (const float value : projected)
        largest = std::max(largest, std::abs(value));
    if (!into.values)
        into.values = std::make_unique<qint8[]>(dimensions);
    into.scale = largest / 127.0f;
    const float inverse = largest > 0.0f ? 127.0f / largest : 0.0f;
    // Rounded to the nearest step (halves up); the shift keeps the truncation on positive values.
    for (int d = 0; d < dimensions; ++d)
        into.values[size_t(d)] = qint8(int(projected[size_t(d)] * inverse + 128.5f) - 128);
}

const ConceptEmbedder::PackedVector& ConceptEmbedder::wordVector(std::string_view word, PackedVector& scratch)
{
    auto found = m_wordVectors.find(word);
    if (found != m_wordVectors.end()) {
        found->second.used = true;
        return found->second.vector;
    }
    // A word's projection is kept from its second use on: many words come once and never again.
    auto features = m_wordFeatures.find(word);
    const bool seenBefore = features != m_wordFeatures.end();
    if (!seenBefore)
        features = m_wordFeatures.emplace(std::string(word), wordFeatures(word, false)).first;
    if (!seenBefore) {
        pack(features->second, scratch);
        return scratch;
    }
    CachedVector& kept = m_wordVectors.emplace(std::string(word), CachedVector{}).first->second;
    pack(features->second, kept.vector);
    return kept.vector;
}

const ConceptEmbedder::PackedVector* ConceptEmbedder::collocationVector(std::string_view joined)
{
    auto found = m_collocationVectors.find(joined);
    if (found == m_collocationVectors.end()) {
        found = m_collocationVectors.emplace(std::string(joined), CachedVector{}).first;
        std::array<std::string_view, 1> base;
        for (int p = 0; p < wordNetPosCount; ++p) {
            if (m_wordNet->baseForms(joined, WordNetPos(p), base) > 0) {
                pack(wordFeatures(joined, false), found->second.vector);
                break;
            }
        }
    }
    found->second.used = true;
    return found->second.vector.values ? &found->second.vector : nullptr;
}

void ConceptEmbedder::trim(VectorCache& cache, size_t limit)
{
    if (cache.size() <= limit)
        return;
    std::erase_if(cache, [](const auto& entry) { return !entry.second.used; });
    for (auto& entry : cache)
        entry.second.used = false;
    if (cache.size() > limit * 3 / 4)
        cache.clear();
}

void ConceptEmbedder::releaseCaches()
{
    // Swapped with empty ones: clear() would keep the tables' buckets.
    VectorCache().swap(m_wordVectors);
    VectorCache().swap(m_collocationVectors);
    decltype(m_wordFeatures)().swap(m_wordFeatures);
    decltype(m_definitionReadings)().swap(m_definitionReadings);
    for (const quint32 synset : m_definitionsCached) {
        m_definitionDone[synset] = false;
        Features().swap(m_definitionCache[synset]);
    }
    std::vector<quint32>().swap(m_definitionsCached);
    m_wordNet->dropFilePages();
}

std::vector<float> ConceptEmbedder::embed(const QString& text)
{
    return embedText(text, false);
}

std::vector<float> ConceptEmbedder::embedQuery(const QString& text)
{
    return embedText(text, true);
}

std::vector<float> ConceptEmbedder::embedText(const QString& text, bool wide)
{
    // The caches are only emptied here, so that the vectors of one text stay in place.
    trim(m_wordVectors, maxCachedWords);
    trim(m_collocationVectors, maxCachedCollocations);
    if (m_wordFeatures.size() > maxCachedFeatures)
        m_wordFeatures.clear();
    if (m_definitionReadings.size() > maxCachedFeatures)
        m_definitionReadings.clear();
    if (m_definitionsCached.size() > maxCachedFeatures) {
        for (const quint32 synset : m_definitionsCached) {
            m_definitionDone[synset] = false;
            Features().swap(m_definitionCache[synset]);
        }
        m_definitionsCached.clear();
    }

    const std::vector<EnglishWord> words = englishWords(text);
    // Each word once, in the order it first came, so that the sums run in an order that depends
    // on the text alone; a word said again counts more, but less than twice.
    struct Term {
        std::string_view text;
        bool collocation;
        float weight;
    };
    std::vector<Term> terms;
    std::unordered_map<std::string_view, size_t> seen;
    std::deque<std::string> collocations;
    const auto count = [&](std::string_view text, bool collocation, float weight) {
        const auto [at, added] = seen.try_emplace(text, terms.size());
        if (added)
            terms.push_back({text, collocation, weight});
        else
            terms[at->second].weight += weight;
    };
    const std::string* previous = nullptr;
    std::string joined;
    for (const EnglishWord& word : words) {
        if (!isContentWord(word.text)) {
            previous = nullptr;
            continue;
        }
        count(word.text, false, 1.0f);
        // Two words that WordNet knows as one ("ice cream", "credit card") add that concept.
        if (previous && word.followsClosely && m_wordNet->beginsCollocation(*previous)) {
            joined.assign(*previous);
            joined += '_';
            joined += word.text;
            if (collocationVector(joined))
                count(collocations.emplace_back(joined), true, kCollocationWeight);
        }
        previous = &word.text;
    }

    // Dimension 0 is the shared component, set last; every feature is spread over the others.
    std::vector<float> vector(dimensions, 0.0f);
    if (terms.empty()) {
        // Only little words: they are all the text has to go by.
        Features little;
        for (const EnglishWord& word : words)
            little.push_back({wordKey(word.text), 1.0f});
        if (little.empty()) {
            const QByteArray bytes = text.trimmed().toUtf8();
            if (bytes.isEmpty())
                return {};
            little.push_back({wordKey(std::string_view(bytes.constData(), size_t(bytes.size()))), 1.0f});
        }
        project(little, vector.data());
    } else {
        PackedVector scratch;
        for (const Term& term : terms) {
            if (wide)
                pack(wordFeatures(term.text, true), scratch);
            const PackedVector& termVector = wide ? scratch
                : term.collocation                ? *collocationVector(term.text)
                                                  : wordVector(term.text, scratch);
            addScaled(vector.data(), termVector.values.get(), std::sqrt(term.weight) * termVector.scale);
        }
    }

    double squares = 0.0;
    for (const float value : vector)
        squares += double(value) * value;
    if (squares <= 0.0)
        return {};
    const double shared = wide ? kQuerySharedWeight : kSharedWeight;
    const double norm = 1.0 / std::sqrt(1.0 + shared * shared);
    const double scale = norm / std::sqrt(squares);
    for (float& value : vector)
        value = float(value * scale);
    vector[0] = float(shared * norm);
    return vector;
}

} // namespace vesk
