// Person names, pool summaries, unassigned faces, face counts and suggestions, on plain values.
#include "faces/FaceSuggestionEngine.h"
#include "faces/PersonPools.h"
#include "platform/Uuid.h"

#include <QRandomGenerator>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace vesk;

namespace {

VeskFaceRecord face(const QUuid& item, std::optional<QUuid> pool, QList<double> vector = {1.0, 0.0}, qint64 secs = 0)
{
    VeskFaceRecord record;
    record.id = QUuid::createUuid();
    record.veskID = item;
    record.clusterID = pool;
    record.featureVector = std::move(vector);
    record.createdAt = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
    return record;
}

VeskFaceClusterRecord pool(std::optional<QString> name)
{
    return {QUuid::createUuid(), std::move(name), QDateTime::fromSecsSinceEpoch(1, Qt::UTC),
            QDateTime::fromSecsSinceEpoch(1, Qt::UTC)};
}

QStringList names(const QList<VeskPersonPoolSummary>& summaries)
{
    QStringList out;
    for (const VeskPersonPoolSummary& summary : summaries)
        out.append(summary.name);
    return out;
}

// The rule for suggestions, followed literally: every candidate against every pool face.
QList<VeskFaceSuggestion> referenceSuggestions(const VeskFaceClusterRecord& p, const QList<VeskFaceRecord>& faces,
                                               const QList<VeskFaceRejectionRecord>& rejections,
                                               const QSet<QUuid>& ignored, int limit, double minimum)
{
    QList<VeskFaceRecord> poolFaces;
    for (const VeskFaceRecord& f : faces) {
        if (f.clusterID == p.id && !f.featureVector.isEmpty())
            poolFaces.append(f);
    }
    if (personPoolName(p.name).isEmpty() || poolFaces.isEmpty())
        return {};
    QList<VeskFaceSuggestion> found;
    for (const VeskFaceRecord& c : faces) {
        if (c.clusterID || c.featureVector.isEmpty() || ignored.contains(c.id)
            || rejections.contains(VeskFaceRejectionRecord{c.id, p.id}))
            continue;
        double best = -1.0;
        for (const VeskFaceRecord& q : poolFaces) {
            if (q.featureVector.size() != c.featureVector.size())
                continue;
            const double s = faceSimilarity(c.featureVector, q.featureVector);
            if (s >= best)
                best = s;
        }
        if (best >= minimum)
            found.append({uuidString(p.id) + "-" + uuidString(c.id), c.id, p.id, personPoolName(p.name),
                          poolFaces.first().id, best});
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.similarity > b.similarity; });
    return found.mid(0, std::max(limit, 0));
}

} // namespace

TEST(PersonNames, SameNameIgnoresCaseDiacriticsAndSurroundingSpace)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {" Ana ", "ana", true},          {"Zoë", "zoe", true},
        {"José", "JOSE", true},          {"Ana\n", "ANA", true},
        {"Anne Marie", "Anne-Marie", false}, {"Anne Marie", "AnneMarie", false},
        {"Ana", "Anna", false},          {"Øystein", "Oystein", false}, // a letter of its own, not a mark
        {"", "  ", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(samePersonName(QString::fromUtf8(c.a), QString::fromUtf8(c.b)), c.same) << c.a << " / " << c.b;
    }
    EXPECT_EQ(personPoolName(QStringLiteral("  Ana\t")), QStringLiteral("Ana"));
    EXPECT_EQ(personPoolName(std::nullopt), QString());
}

TEST(PersonPoolSummaries, NamedPoolsWithFacesSortedByNameWithTiesInPoolOrder)
{
    const QUuid item1 = QUuid::createUuid();
    const QUuid item2 = QUuid::createUuid();
    const VeskFaceClusterRecord bob = pool(QStringLiteral(" bob "));
    const VeskFaceClusterRecord lowerAna = pool(QStringLiteral("ana"));
    const VeskFaceClusterRecord upperAna = pool(QStringLiteral("Ana"));
    const VeskFaceClusterRecord blank = pool(QStringLiteral("   "));
    const VeskFaceClusterRecord unnamed = pool(std::nullopt);
    const VeskFaceClusterRecord empty = pool(QStringLiteral("Cleo"));
    const QList<VeskFaceRecord> faces = {face(item1, upperAna.id), face(item1, bob.id), face(item2, bob.id),
                                         face(item2, bob.id),      face(item1, lowerAna.id), face(item1, blank.id),
                                         face(item2, unnamed.id),  face(item2, std::nullopt)};
    const QList<VeskPersonPoolSummary> all =
        personPoolSummaries({bob, lowerAna, upperAna, blank, unnamed, empty}, faces);
    EXPECT_EQ(names(all), (QStringList{"ana", "Ana", "bob"}));
    EXPECT_EQ(all[2], (VeskPersonPoolSummary{bob.id, "bob", 3, 2, faces[1].id}));
    EXPECT_EQ(all[1].representativeFaceID, faces[0].id);
    EXPECT_EQ(personPoolSummary(bob, faces), all[2]);
    EXPECT_FALSE(personPoolSummary(empty, faces));
    EXPECT_FALSE(personPoolSummary(blank, faces));
}

TEST(UnassignedFaces, NewestFirstWithoutIgnoredUpToTheLimit)
{
    const QUuid item = QUuid::createUuid();
    const QUuid somePool = QUuid::createUuid();
    QList<VeskFaceRecord> faces;
    for (int i = 0; i < 50; ++i)
        faces.append(face(item, std::nullopt, {1.0}, i));
    faces.append(face(item, somePool, {1.0}, 100));       // confirmed
    faces.append(face(item, std::nullopt, {1.0}, 200));   // ignored
    faces.append(face(item, std::nullopt, {}, 49));       // same instant as faces[49], later in the list
    const QSet<QUuid> ignored = {faces[51].id};

    const QList<VeskFaceRecord> shown = unassignedFaces(faces, ignored, 48);
    ASSERT_EQ(shown.size(), 48);
    EXPECT_EQ(shown[0].id, faces[49].id);
    EXPECT_EQ(shown[1].id, faces[52].id);
    EXPECT_EQ(shown[47].id, faces[3].id);
    EXPECT_TRUE(unassignedFaces(faces, ignored, 0).isEmpty());
    EXPECT_TRUE(unassignedFaces(faces, ignored, -5).isEmpty());

    EXPECT_EQ(faceStatistics(faces, ignored), (VeskFaceStatistics{53, 1, 51}));
    EXPECT_EQ(faceStatistics({}, {}), (VeskFaceStatistics{0, 0, 0}));
}

TEST(FaceSimilarity, CosineOfEqualLengthPrintsAndZeroForAZeroPrint)
{
    EXPECT_DOUBLE_EQ(faceSimilarity({1, 0}, {0, 1}), 0.0);
    EXPECT_DOUBLE_EQ(faceSimilarity({1, 1}, {2, 2}), 1.0);
    EXPECT_DOUBLE_EQ(faceSimilarity({1, 0}, {-3, 0}), -1.0);
    EXPECT_DOUBLE_EQ(faceSimilarity({0, 0}, {1, 2}), 0.0);
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(std::isnan(faceSimilarity({infinity, 1}, {1, 1})));
}

TEST(FaceSuggestions, EdgeCasesOfOnePool)
{
    const QUuid item = QUuid::createUuid();
    const VeskFaceClusterRecord ana = pool(QStringLiteral(" Ana "));
    QList<VeskFaceRecord> faces = {
        face(item, ana.id, {}),                   // no print: not the representative
        face(item, ana.id, {1, 0, 0}),            // representative
        face(item, std::nullopt, {0.9, 0.1, 0}),  // close
        face(item, std::nullopt, {0, 0, 0}),      // zero print: 0
        face(item, std::nullopt, {1, 0}),         // another length: -1
        face(item, std::nullopt, {0.9, 0.1, 0}),  // rejected
        face(item, std::nullopt, {0.9, 0.1, 0}),  // ignored
        face(item, std::nullopt, {0.9, 0.1, 0}),  // tie with faces[2], later in the list
    };
    const QList<VeskFaceRejectionRecord> rejections = {{faces[5].id, ana.id}, {faces[7].id, QUuid::createUuid()}};
    const QSet<QUuid> ignored = {faces[6].id};
    FaceSuggestionEngine engine;

    const QList<VeskFaceSuggestion> strong = engine.suggestions(ana, faces, rejections, ignored, 12, 0.72);
    ASSERT_EQ(strong.size(), 2);
    EXPECT_EQ(strong[0].faceID, faces[2].id);
    EXPECT_EQ(strong[1].faceID, faces[7].id);
    EXPECT_EQ(strong[0].id, uuidString(ana.id) + "-" + uuidString(faces[2].id));
    EXPECT_EQ(strong[0].poolName, QStringLiteral("Ana"));
    EXPECT_EQ(strong[0].representativeFaceID, faces[1].id);
    EXPECT_NEAR(strong[0].similarity, 0.9 / std::sqrt(0.82), 1e-15);

    const QList<VeskFaceSuggestion> all = engine.suggestions(ana, faces, rejections, ignored, 12, -1.0);
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[2].faceID, faces[3].id);
    EXPECT_EQ(all[2].similarity, 0.0);
    EXPECT_EQ(all[3].faceID, faces[4].id);
    EXPECT_EQ(all[3].similarity, -1.0);
    EXPECT_EQ(engine.suggestions(ana, faces, rejections, ignored, 1, -1.0).size(), 1);
    EXPECT_TRUE(engine.suggestions(ana, faces, rejections, ignored, 0, -1.0).isEmpty());
    EXPECT_TRUE(engine.suggestions(ana, faces, rejections, ignored, -3, -1.0).isEmpty());

    // Unnamed pools and pools without a print get nothing.
    VeskFaceClusterRecord blank = ana;
    blank.name = QStringLiteral("  ");
    EXPECT_TRUE(engine.suggestions(blank, faces, {}, {}, 12, -1.0).isEmpty());
    faces[1].featureVector.clear();
    EXPECT_TRUE(engine.suggestions(ana, faces, {}, {}, 12, -1.0).isEmpty());
}

TEST(FaceSuggestions, TheFastPathGivesExactlyTheRulesAnswer)
{
    // Prints of the model's length, many of them nearly equal so that float rounding would decide
    // ties and thresholds, plus prints of another length, zero prints and non-finite values.
    QRandomGenerator random(7);
    const int length = 1024;
    const auto randomPrint = [&] {
        QList<double> v(length);
        for (double& x : v)
            x = random.generateDouble() * 2 - 1;
        return v;
    };
    const QUuid item = QUuid::createUuid();
    QList<VeskFaceClusterRecord> pools;
    for (int p = 0; p < 4; ++p)
        pools.append(pool(QStringLiteral("P%1").arg(p)));
    QList<VeskFaceRecord> faces;
    QList<QList<double>> centres;
    for (int p = 0; p < 4; ++p)
        centres.append(randomPrint());
    for (int i = 0; i < 600; ++i) {
        const int p = i % 4;
        QList<double> v = centres[p];
        const double spread = (i % 3) * 0.4;
        for (double& x : v)
            x += spread * (random.generateDouble() * 2 - 1);
        if (i % 50 == 7)
            v = faces.isEmpty() ? v : faces[i - 1].featureVector; // exact duplicates: ties
        if (i % 97 == 5)
            v.fill(0.0);
        if (i % 131 == 9)
            v.resize(128);
        if (i == 300)
            v[3] = std::numeric_limits<double>::infinity();
        const bool confirmed = i % 5 == 0;
        faces.append(face(item, confirmed ? std::optional<QUuid>(pools[p].id) : std::nullopt, v, i));
    }
    // Near-equal candidates around the threshold.
    for (int k = 0; k < 20; ++k) {
        QList<double> v = faces[0].featureVector;
        v[k] += 1e-7 * k;
        faces.append(face(item, std::nullopt, v, 700 + k));
    }
    const QList<VeskFaceRejectionRecord> rejections = {{faces[1].id, pools[1].id}, {faces[2].id, pools[2].id}};
    const QSet<QUuid> ignored = {faces[3].id};

    FaceSuggestionEngine engine;
    for (const VeskFaceClusterRecord& p : pools) {
        for (double minimum : {0.72, 0.3, 0.0, -1.0}) {
            for (int limit : {12, 1000}) {
                EXPECT_EQ(engine.suggestions(p, faces, rejections, ignored, limit, minimum),
                          referenceSuggestions(p, faces, rejections, ignored, limit, minimum))
                    << qPrintable(*p.name) << " " << minimum << " " << limit;
            }
        }
    }
    // Pool faces that differ from each other below float precision, and minimums exactly at a
    // candidate's similarity: the float figures alone would pick the wrong best or drop it.
    for (int k = 0; k < 6; ++k) {
        QList<double> v = faces[0].featureVector;
        v[100 + k] += 3e-9 * (k + 1);
        faces.append(face(item, pools[0].id, v, 800 + k));
    }
    for (qsizetype c = 600; c < 620; c += 2) {
        double own = -1.0;
        for (const VeskFaceSuggestion& s : referenceSuggestions(pools[0], faces, {}, {}, 1000, -1.0)) {
            if (s.faceID == faces[c].id)
                own = s.similarity;
        }
        EXPECT_EQ(engine.suggestions(pools[0], faces, {}, {}, 1000, own),
                  referenceSuggestions(pools[0], faces, {}, {}, 1000, own));
    }
    // Faces added later are seen.
    faces.append(face(item, std::nullopt, faces[0].featureVector, 900));
    EXPECT_EQ(engine.suggestions(pools[0], faces, {}, {}, 1000, 0.72),
              referenceSuggestions(pools[0], faces, {}, {}, 1000, 0.72));
}

TEST(FaceSuggestions, KeptFiguresFollowEveryChangeOfTheFaces)
{
    // One engine asked again after each change: faces confirmed, moved, removed, added with and
    // without a pool, detected again, and finally a library whose prints changed length.
    QRandomGenerator random(11);
    constexpr int kLength = 64;
    QList<QList<double>> centres;
    for (int p = 0; p < 3; ++p) {
        QList<double> centre(kLength);
        for (double& x : centre)
            x = random.generateDouble() * 2 - 1;
        centres.append(centre);
    }
    const auto print = [&](int person, qsizetype size) {
        QList<double> v = centres[person].mid(0, size);
        v.resize(size);
        for (double& x : v)
            x += 0.7 * (random.generateDouble() * 2 - 1);
        return v;
    };
    QList<VeskFaceClusterRecord> pools = {pool(QStringLiteral("A")), pool(QStringLiteral("B")), pool(QStringLiteral("C"))};
    QList<VeskFaceRecord> faces;
    for (int i = 0; i < 120; ++i)
        faces.append(face(QUuid::createUuid(), i % 6 == 0 ? std::optional<QUuid>(pools[i % 3].id) : std::nullopt,
                          print(i % 3, kLength), i));
    FaceSuggestionEngine engine;
    const auto check = [&](const char* step) {
        for (const VeskFaceClusterRecord& p : pools) {
            for (int limit : {3, 500}) {
                ASSERT_EQ(engine.suggestions(p, faces, {}, {}, limit, 0.5),
                          referenceSuggestions(p, faces, {}, {}, limit, 0.5))
                    << step << " " << qPrintable(*p.name) << " " << limit;
            }
        }
    };
    check("start");
    for (int step = 0; step < 40; ++step) {
        const qsizetype i = random.bounded(faces.size());
        switch (step % 5) {
        case 0: // confirmed, or moved to another pool
            faces[i].clusterID = pools[random.bounded(3)].id;
            break;
        case 1: // removed, as a deleted item's faces are
            faces.removeAt(i);
            break;
        case 2: // a new face, sometimes already in a pool
            faces.append(face(QUuid::createUuid(), step % 2 ? std::optional<QUuid>(pools[1].id) : std::nullopt,
                              print(step % 3, kLength), 1000 + step));
            break;
        case 3: { // detected again: new identifiers, no pools, at the end
            VeskFaceRecord again = faces.takeAt(i);
            again.id = QUuid::createUuid();
            again.clusterID.reset();
            faces.append(again);
            break;
        }
        case 4: // a pool merged into another
            for (VeskFaceRecord& f : faces) {
                if (f.clusterID == pools[2].id)
                    f.clusterID = pools[0].id;
            }
            break;
        }
        check(("step " + std::to_string(step)).c_str());
    }
    // Most faces detected again by a model of another print length: the float copy starts again
    // with that length.
    for (int i = 0; i < faces.size(); ++i) {
        if (i % 4 != 0) {
            faces[i].id = QUuid::createUuid();
            faces[i].featureVector = print(i % 3, 48);
        }
    }
    check("new length");
}
