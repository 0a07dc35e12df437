#pragma once

#include "model/VeskFaceRecords.h"

#include <QList>
#include <QSet>
#include <QUuid>
#include <memory>
#include <vector>

namespace vesk {

// The cosine similarity of two prints of equal length, from their dot product and both sums of
// squares taken in one pass; 0 unless both sums are above 0 (a zero print is like nothing). Prints
// of infinite values can give NaN, which never counts as a best similarity.
double faceSimilarity(const QList<double>& a, const QList<double>& b);

// Suggests unassigned faces for person pools. The answer is that of comparing every candidate with
// every face of the pool by faceSimilarity (the rule); it is found faster. A float copy of every
// print, scaled to unit length, is multiplied in bulk on the model runtime's threads, and for each
// pool the best float similarity of every face is kept between calls and brought up to date from
// what changed in the faces (new faces, faces joining or leaving a pool; faces are never edited in
// place apart from their pool, so their identifiers tell). The exact similarity is then computed
// only for the candidates whose float figure could place them among the answers.
class FaceSuggestionEngine {
public:
    FaceSuggestionEngine();
    ~FaceSuggestionEngine();
    FaceSuggestionEngine(const FaceSuggestionEngine&) = delete;
    FaceSuggestionEngine& operator=(const FaceSuggestionEngine&) = delete;

    // The unassigned faces (not ignored, not rejected for the pool, with a print) whose best
    // similarity to the pool's faces is at least `minimum`, best first, equal similarities in
    // `faces` order, at most `limit` (a negative limit counts as 0). None for a pool without a
    // name or without a face that has a print. A candidate with no pool face of its print's
    // length has similarity -1.
    QList<VeskFaceSuggestion> suggestions(const VeskFaceClusterRecord& pool, const QList<VeskFaceRecord>& faces,
                                          const QList<VeskFaceRejectionRecord>& rejections,
                                          const QSet<QUuid>& ignored, int limit, double minimum);

private:
    struct State;
    void synchronise(const QList<VeskFaceRecord>& faces);
    void update(const QList<VeskFaceRecord>& faces);
    void rebuild(const QList<VeskFaceRecord>& faces);
    void figureMissingPools(const QList<VeskFaceRecord>& faces);
    std::unique_ptr<State> m_state;
};

} // namespace vesk
