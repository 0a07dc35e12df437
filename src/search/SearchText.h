#pragma once

#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

namespace vesk {

// "#" not preceded by a letter, digit or underscore, then a letter or digit and any run of
// letters, digits, "_" and "-". Group 1 is the tag body. Compiled once; null when it failed.
const QRegularExpression* hashtagRegex();

// Every hashtag body in text, lower-cased, each once, sorted ascending.
QStringList extractHashtags(const QString& text);

// The words that extractTokens drops.
const QSet<QString>& searchStopWords();

// Content words of text: lower-cased pieces between non-alphanumeric characters that have at
// least 3 characters, are not stop words and hold at least one letter.
QSet<QString> extractTokens(const QString& text);
// The same words, handed one by one (a word may come more than once).
void forEachContentToken(const QString& text, const std::function<void(const QString&)>& visit);
// The same for text that is already lower-cased, handing out views into it.
void forEachContentWord(QStringView lowered, const std::function<void(QStringView)>& visit);
// The same for any text, without a lower-cased copy of a text of plain ASCII (each word is
// lowered on its own); the views handed out last until the next word.
void forEachContentWordOf(const QString& text, const std::function<void(QStringView)>& visit);
// The same for a text of plain ASCII given as its bytes, without decoding it first.
void forEachContentWordOfAscii(const char* bytes, qsizetype size, const std::function<void(QStringView)>& visit);

// Title of a text item: its first non-blank line, trimmed, cut to 72 characters plus "…";
// "Untitled Vesk" when there is none.
QString deriveTitle(const QString& text);

// The normal form of a manual tag: outer white space and "#" trimmed, then only letters, marks,
// digits, "_" and "-" kept, lower-cased. May be empty.
QString normalizedTag(const QString& text);

// Splits text into index words: runs of letters, numbers, marks and "#". Pieces are views into
// text, in order, duplicates included.
void forEachIndexWord(QStringView text, const std::function<void(QStringView)>& visit);
// text.toLower(), much faster on plain ASCII text, which is most of what gets indexed.
QString lowerText(const QString& text);

// User-perceived character count and prefix, with a fast path for plain ASCII.
qsizetype searchCharacterCount(QStringView text);
QStringView searchCharacterPrefix(QStringView text, qsizetype count);

// Trims white space and line breaks (Unicode white space, including U+0085, U+2028, U+2029).
QString trimmedText(const QString& text);

} // namespace vesk
