#include "pane/StoredCopyPathLabel.h"

#include <QApplication>
#include <QClipboard>
#include <gtest/gtest.h>

namespace vesk {
namespace {

// One unit per character, so the expected lines can be read off the strings.
qreal characters(const QString& text)
{
    return qreal(text.size());
}

TEST(StoredCopyPath, LinesBreakOnlyAfterSeparators)
{
    // Fits on one line: unchanged.
    EXPECT_EQ(pathLines("/data/Items/A/note.txt", 40, 2, characters), "/data/Items/A/note.txt");
    // Two lines, broken after a "/" and never inside "journal-115.txt".
    EXPECT_EQ(pathLines("/home/ana/Vesk/Items/journal-115.txt", 24, 2, characters),
              "/home/ana/Vesk/Items/\njournal-115.txt");
    for (const QString& line : pathLines("/home/ana/Vesk/Items/journal-115.txt", 24, 2, characters).split('\n'))
        EXPECT_LE(line.size(), 24);
}

TEST(StoredCopyPath, LongPathsAreShortenedInTheMiddleAtFolders)
{
    const QString path = "/home/ana/.local/share/Vesk/Items/1b2c3d4e-5f60/journal-115.txt";
    const QString shown = pathLines(path, 24, 2, characters);
    const QStringList lines = shown.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("/home/ana/")) << shown.toStdString();
    EXPECT_TRUE(lines[0].endsWith("/")) << shown.toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("\u2026/"))) << shown.toStdString();
    EXPECT_TRUE(lines[1].endsWith("/journal-115.txt")) << shown.toStdString();
    for (const QString& line : lines)
        EXPECT_LE(line.size(), 24) << shown.toStdString();

    // A name wider than a line is itself shortened in its middle, keeping both ends.
    const QString longName = "/d/" + QString(30, 'a') + "-end.txt";
    const QString last = pathLines(longName, 16, 2, characters).split('\n').last();
    EXPECT_LE(last.size(), 16);
    EXPECT_TRUE(last.startsWith("aaa")) << last.toStdString();
    EXPECT_TRUE(last.endsWith(".txt")) << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("\u2026"))) << last.toStdString();
}

// The label shows the fitted lines but always hands out the whole path.
TEST(StoredCopyPath, LabelKeepsTheWholePathInTooltipAndCopy)
{
    const QString path = "/home/ana/.local/share/Vesk/Items/1b2c3d4e-5f60/journal-115.txt";
    StoredCopyPathLabel label(path);
    label.resize(120, 40);
    EXPECT_EQ(label.toolTip(), path);
    EXPECT_FALSE(label.text().contains("journal-115.tx\n"));
    EXPECT_LE(label.text().count('\n'), StoredCopyPathLabel::kMaximumLines - 1);
    label.copyPath();
    EXPECT_EQ(QApplication::clipboard()->text(), path);
}

} // namespace
} // namespace vesk
