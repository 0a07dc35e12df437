#include "common/TestEnvironment.h"
#include "platform/AppPaths.h"
#include "platform/CancellationToken.h"
#include "platform/ContentHash.h"
#include "platform/ErasePositions.h"
#include "platform/Graphemes.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "platform/Settings.h"
#include "platform/Uuid.h"

#include <QCoreApplication>
#include <QFile>
#include <QSemaphore>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <gtest/gtest.h>
#include <algorithm>
#include <deque>
#include <string>
#include <thread>
#include <unistd.h>

using namespace vesk;

TEST(AppPaths, TestEnvironmentNeverPointsAtTheUsersFolders)
{
    const QString root = test::testRoot();
    EXPECT_TRUE(AppPaths::dataDirectory().startsWith(root));
    EXPECT_TRUE(AppPaths::configDirectory().startsWith(root));
    EXPECT_TRUE(AppPaths::cloudDirectory().startsWith(root));
    EXPECT_TRUE(IniSettings::defaultFilePath().startsWith(root));
}

TEST(AppPaths, BlankOverrideFallsBackToXdgDataHome)
{
    const QByteArray saved = qgetenv("VESK_DATA_DIR");
    qputenv("VESK_DATA_DIR", "   ");
    const QString dir = AppPaths::dataDirectory();
    qputenv("VESK_DATA_DIR", saved);
    EXPECT_TRUE(dir.endsWith("/Vesk"));
    EXPECT_TRUE(dir.startsWith(test::testRoot())) << "XDG_DATA_HOME is redirected by the test main";
}

TEST(Uuid, WritesUpperCaseAndReadsEitherCase)
{
    const QUuid id = QUuid::fromString(QStringLiteral("6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a10"));
    EXPECT_EQ(uuidString(id), QStringLiteral("6F1C9C52-3D1A-4B8E-9A55-0C2F4D7E8A10"));
    ASSERT_TRUE(parseUuid(QStringLiteral("6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a10")).has_value());
    EXPECT_EQ(*parseUuid(uuidString(id)), id);
    EXPECT_FALSE(parseUuid(QStringLiteral("{6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a10}")).has_value());
    EXPECT_FALSE(parseUuid(QStringLiteral("not-a-uuid")).has_value());
    EXPECT_FALSE(parseUuid(QString()).has_value());
}

TEST(Uuid, RefusesTextsThatAreNotTheHyphenatedHexadecimalForm)
{
    const struct {
        const char* text;
        bool parses;
    } cases[] = {
        {"6F1C9C52-3D1A-4B8E-9A55-0C2F4D7E8A10", true},
        {"6f1c9c52-3d1a-4B8E-9a55-0C2F4d7e8a10", true},
        {"00000000-0000-0000-0000-000000000000", true},
        {"6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a1g", false},   // a letter past f
        {"6f1c9c52-3d1a-4b8e-9a550-c2f4d7e8a10", false},   // a hyphen one place late
        {"6f1c9c52_3d1a-4b8e-9a55-0c2f4d7e8a10", false},
        {"6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a1", false},    // one digit short
        {"6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a100", false},
        {"6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a10\n", false},
        {" 6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a1", false},
        {"6f1c9c523d1a4b8e9a550c2f4d7e8a10", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<QUuid> parsed = parseUuid(QString::fromLatin1(c.text));
        ASSERT_EQ(parsed.has_value(), c.parses);
        if (parsed)
            EXPECT_EQ(uuidString(*parsed), QString::fromLatin1(c.text).toUpper());
    }
    // A digit of another script is no hexadecimal digit.
    EXPECT_FALSE(parseUuid(QStringLiteral("6f1c9c52-3d1a-4b8e-9a55-0c2f4d7e8a1\u0661")).has_value());
}

TEST(Graphemes, CutsWholeUserPerceivedCharacters)
{
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    const QString accented = QStringLiteral("e\u0301");
    const QString text = family + accented + QStringLiteral("xyz");
    EXPECT_EQ(graphemeCount(text), 5);
    EXPECT_EQ(leftGraphemes(text, 1), family);
    EXPECT_EQ(leftGraphemes(text, 2), family + accented);
    EXPECT_EQ(leftGraphemes(text, 50), text);
    EXPECT_EQ(leftGraphemes(text, 0), QString());
    // Only a beginning of a long text is read: a character longer than that beginning is still
    // given whole, and one that ends exactly where the beginning ends is not cut short.
    const QString stacked = QStringLiteral("a") + QString(3000, QChar(0x0301));
    EXPECT_EQ(leftGraphemes(stacked + QStringLiteral("b").repeated(100'000), 1), stacked);
    const QString sixtyFourUnits = QStringLiteral("a") + QString(63, QChar(0x0301));
    EXPECT_EQ(leftGraphemes(sixtyFourUnits + QString(5, QChar(0x0301)) + QStringLiteral("b"), 1),
              sixtyFourUnits + QString(5, QChar(0x0301)));
    EXPECT_EQ(leftGraphemes(sixtyFourUnits + QStringLiteral("b"), 1), sixtyFourUnits);
}

TEST(Graphemes, CutsForDisplayFallBetweenWholeCharacters)
{
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");  // FR, 4 units
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    const QString thumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");  // with a skin tone
    const QString combined = QStringLiteral("e\u0301\u0323");
    const struct {
        const char* name;
        QString unit;
    } cases[] = {{"flags", flag}, {"families", family}, {"skin tones", thumb}, {"combining marks", combined}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString text = QStringLiteral("ab") + c.unit.repeated(40);
        // Every cut within the text gives whole characters: "ab" and whole units, never more units
        // than asked for (but the first character whole).
        for (qsizetype units = 1; units < text.size(); ++units) {
            const QString cut = graphemePrefixWithin(text, units);
            ASSERT_LE(cut.size(), std::max<qsizetype>(units, 1)) << units;
            ASSERT_TRUE(text.startsWith(cut));
            const qsizetype past = cut.size() - 2;
            if (cut.size() > 2) {
                ASSERT_EQ(past % c.unit.size(), 0) << units << " cut inside a character";
            }
            EXPECT_GE(cut.size(), units - c.unit.size() + 1) << "cut further back than the character's start";
        }
        EXPECT_EQ(graphemePrefixWithin(c.unit + QStringLiteral("x"), 1), c.unit) << "the first character, whole";
    }
}

TEST(Settings, JsonStatesRoundTripByteForByteThroughTheIniFile)
{
    const QString path = test::makeTempDirectory() + "/Vesk.conf";
    const QByteArray json = QByteArrayLiteral("{\"A\":{\"selectionCount\":3,\"lastSelectedAt\":7.25},\"b=c\":\"\\n\"}");
    {
        IniSettings settings(path);
        settings.setData(QStringLiteral("Vesk.UsageSignals.v1"), json);
        settings.setValue(QStringLiteral("veskPreviewPaneWidth"), 432.5);
    }
    IniSettings reopened(path);
    EXPECT_EQ(reopened.data(QStringLiteral("Vesk.UsageSignals.v1")), json);
    EXPECT_DOUBLE_EQ(reopened.value(QStringLiteral("veskPreviewPaneWidth")).toDouble(), 432.5);
    EXPECT_TRUE(reopened.data(QStringLiteral("missing")).isEmpty());
    reopened.remove(QStringLiteral("Vesk.UsageSignals.v1"));
    reopened.waitForWrites();
    EXPECT_FALSE(IniSettings(path).contains(QStringLiteral("Vesk.UsageSignals.v1")));
}

TEST(SerialExecutor, RunsJobsOneAtATimeInOrderAndContinuesOnTheMainThread)
{
    SerialExecutor executor;
    QStringList order;
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    QList<QFuture<int>> futures;
    for (int i = 0; i < 20; ++i) {
        futures.append(executor.run([i, &running, &maxRunning] {
            const int now = ++running;
            maxRunning = std::max(maxRunning.load(), now);
            QThread::usleep(200);
            --running;
            return i;
        }));
    }
    QObject context;
    QThread* continuationThread = nullptr;
    QEventLoop loop;
    futures.last().then(&context, [&](int value) {
        continuationThread = QThread::currentThread();
        order.append(QString::number(value));
        loop.quit();
    });
    loop.exec();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(futures[i].result(), i);
    EXPECT_EQ(maxRunning.load(), 1);
    EXPECT_EQ(continuationThread, QCoreApplication::instance()->thread());
}

// A thread waiting for a queued job waits for its turn: it never runs the job itself beside the
// one the executor's thread is in.
TEST(SerialExecutor, AWaiterDoesNotRunAQueuedJobItself)
{
    SerialExecutor executor;
    QSemaphore go;
    std::atomic<bool> firstDone{false};
    QFuture<void> first = executor.run([&] {
        go.acquire();
        firstDone = true;
    });
    std::atomic<bool> secondRan{false};
    QFuture<bool> second = executor.run([&] {
        secondRan = true;
        return firstDone.load();
    });
    std::atomic<pid_t> waiterId{0};
    std::thread waiter([&] {
        waiterId = pid_t(::gettid());
        second.waitForFinished();
    });
    // The first job goes on once the waiter is blocked in its wait, or has run the second job.
    const auto asleep = [&] {
        const pid_t id = waiterId.load();
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(id));
        if (id == 0 || !stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2, 1) == "S";
    };
    while (!secondRan && !asleep())
        QThread::yieldCurrentThread();
    go.release();
    waiter.join();
    EXPECT_TRUE(second.result());
    EXPECT_TRUE(first.isFinished());
}

TEST(CancellationToken, CopiesShareTheFlag)
{
    CancellationToken owner;
    const CancellationToken task = owner;
    EXPECT_FALSE(task.isCancelled());
    owner.cancel();
    EXPECT_TRUE(task.isCancelled());
    EXPECT_FALSE(CancellationToken().isCancelled());
}

// A byte string fed in pieces, however it is cut, counts as the same string fed whole.
TEST(ContentHash, PiecesGiveTheValueOfTheWhole)
{
    QByteArray bytes(100, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37 + 11);
    ContentHash whole;
    whole.addNumber(7);
    whole.addBytes(bytes.constData(), size_t(bytes.size()));
    const std::vector<std::vector<int>> cuts = {{}, {1}, {15, 16, 17}, {3, 5, 8, 40, 41, 99}, {16, 32, 48, 64, 80, 96}};
    for (const std::vector<int>& at : cuts) {
        ContentHash pieces;
        pieces.addNumber(7);
        pieces.beginBytes(size_t(bytes.size()));
        int from = 0;
        for (const int to : at) {
            pieces.continueBytes(bytes.constData() + from, size_t(to - from));
            from = to;
        }
        pieces.continueBytes(bytes.constData() + from, size_t(bytes.size() - from));
        pieces.endBytes();
        EXPECT_TRUE(pieces.value() == whole.value()) << at.size() << " cuts";
    }
}

// Lists of elements that own memory lose exactly the elements at the positions, in one piece or
// element by element, whichever side of them moves; a copy the list shared stays as it was.
TEST(ErasePositions, TakesOutExactlyThePositionsWhicheverSideMoves)
{
    const std::vector<std::vector<qsizetype>> cases = {
        {0}, {9}, {4}, {0, 1, 2}, {7, 8, 9}, {1, 8}, {6, 7}, {2, 3}, {0, 9}, {1, 3, 5, 7}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    for (const std::vector<qsizetype>& positions : cases) {
        QList<QString> texts;
        std::deque<std::string> strings;
        for (int i = 0; i < 10; ++i) {
            texts.append(QStringLiteral("item number %1").arg(i));
            strings.push_back(texts.last().toStdString());
        }
        const QList<QString> shared = texts;
        QStringList expected;
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (std::find(positions.begin(), positions.end(), i) == positions.end())
                expected.append(texts[i]);
        }
        eraseAtPositions(texts, positions);
        eraseAtPositions(strings, positions);
        EXPECT_EQ(texts, expected) << positions.size() << " from " << positions.front();
        ASSERT_EQ(strings.size(), size_t(expected.size()));
        for (qsizetype i = 0; i < expected.size(); ++i)
            EXPECT_EQ(strings[size_t(i)], expected[i].toStdString());
        EXPECT_EQ(shared.size(), 10);
        EXPECT_EQ(shared.last(), QStringLiteral("item number 9"));
        // What is left takes new elements at either end as any list does.
        texts.prepend(QStringLiteral("first"));
        texts.append(QStringLiteral("last"));
        EXPECT_EQ(texts.size(), expected.size() + 2);
    }
}

TEST(Log, CaptureReceivesLines)
{
    QStringList lines;
    setVeskLogCapture([&](const QString& line) { lines.append(line); });
    veskLog(QStringLiteral("Vesk SQLite save error: boom"));
    setVeskLogCapture({});
    EXPECT_EQ(lines, QStringList{QStringLiteral("Vesk SQLite save error: boom")});
}
