#include "common/PropertyListReader.h"
#include "store/BinaryPropertyList.h"

#include <QVariantList>
#include <QVariantMap>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

QVariant roundTrip(const QVariant& value)
{
    auto encoded = encodeBinaryPropertyList(value);
    EXPECT_TRUE(encoded.hasValue());
    if (!encoded)
        return {};
    EXPECT_TRUE(encoded->startsWith("bplist00"));
    QString failure;
    const QVariant read = test::readPropertyList(*encoded, &failure);
    EXPECT_TRUE(read.isValid()) << failure.toStdString();
    return read;
}

} // namespace

// The snapshot state list in its usual shape: a small dictionary of an integer and JSON bytes.
TEST(BinaryPropertyList, StateDictionaryReadsBackByAnotherImplementation)
{
    const QByteArray tags = R"({"6F1C9C52-3D1A-4B8E-9A55-0C2F4D7E8A10":["travel","tax"]})";
    QVariantMap state;
    state.insert(QStringLiteral("snapshotFormat"), 1);
    state.insert(QStringLiteral("manualTags"), tags);
    state.insert(QStringLiteral("usageSignals"), QByteArray("{}"));

    const QVariantMap read = roundTrip(state).toMap();
    EXPECT_EQ(read.value("snapshotFormat").toLongLong(), 1);
    EXPECT_EQ(read.value("manualTags").toByteArray(), tags);
    EXPECT_EQ(read.value("usageSignals").toByteArray(), QByteArray("{}"));
    EXPECT_EQ(read.size(), 3);
}

// Sizes at which the format switches widths: counts of 15 and more, more than 255 objects
// (two-byte references), offsets past 65535 (four-byte offsets), integers of every width
// including negative ones, non-ASCII text, empty values and nesting.
TEST(BinaryPropertyList, WidthsCountsAndNestingSurviveReading)
{
    QVariantList many;
    for (int i = 0; i < 300; ++i)
        many.append(i * 1000);
    QByteArray big(70'000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);

    QVariantMap root;
    root.insert(QStringLiteral("many"), many);
    root.insert(QStringLiteral("big"), big);
    root.insert(QStringLiteral("fifteen"), QByteArray(15, 'x'));
    root.insert(QStringLiteral("negative"), qint64(-42));
    root.insert(QStringLiteral("wide"), qint64(1) << 40);
    root.insert(QStringLiteral("u16"), 65535);
    root.insert(QStringLiteral("u32"), qint64(4'000'000'000));
    root.insert(QStringLiteral("text"), QStringLiteral("Zürich – 東京 and a long ASCII tail"));
    root.insert(QStringLiteral("empty"), QString());
    root.insert(QStringLiteral("nothing"), QByteArray());
    root.insert(QStringLiteral("yes"), true);
    root.insert(QStringLiteral("no"), false);
    root.insert(QStringLiteral("ratio"), 0.25);
    root.insert(QStringLiteral("nested"), QVariantMap{{QStringLiteral("list"), QVariantList{1, QStringLiteral("a")}},
                                                      {QStringLiteral("inner"), QVariantMap{}}});

    const QVariantMap read = roundTrip(root).toMap();
    ASSERT_EQ(read.value("many").toList().size(), 300);
    EXPECT_EQ(read.value("many").toList().at(299).toLongLong(), 299'000);
    EXPECT_EQ(read.value("big").toByteArray(), big);
    EXPECT_EQ(read.value("fifteen").toByteArray(), QByteArray(15, 'x'));
    EXPECT_EQ(read.value("negative").toLongLong(), -42);
    EXPECT_EQ(read.value("wide").toLongLong(), qint64(1) << 40);
    EXPECT_EQ(read.value("u16").toLongLong(), 65535);
    EXPECT_EQ(read.value("u32").toLongLong(), 4'000'000'000);
    EXPECT_EQ(read.value("text").toString(), QStringLiteral("Zürich – 東京 and a long ASCII tail"));
    EXPECT_EQ(read.value("empty").toString(), QString());
    EXPECT_TRUE(read.value("nothing").toByteArray().isEmpty());
    EXPECT_TRUE(read.value("yes").toBool());
    EXPECT_FALSE(read.value("no").toBool());
    EXPECT_DOUBLE_EQ(read.value("ratio").toDouble(), 0.25);
    const QVariantMap nested = read.value("nested").toMap();
    EXPECT_EQ(nested.value("list").toList(), (QVariantList{qint64(1), QStringLiteral("a")}));
    EXPECT_TRUE(nested.value("inner").toMap().isEmpty());
}

TEST(BinaryPropertyList, ValuesAPropertyListCannotHoldAreRefused)
{
    QVariantMap root;
    root.insert(QStringLiteral("when"), QDateTime::currentDateTimeUtc());
    auto encoded = encodeBinaryPropertyList(root);
    ASSERT_FALSE(encoded.hasValue());
    EXPECT_TRUE(encoded.error().contains("QDateTime"));
}
