#include "search/EmbeddingWords.h"

#include <QChar>

#include <unordered_set>

namespace vesk {

namespace {

// Decodes one code point at position; returns the number of bytes it takes (1 for a malformed
// byte, which then reads as U+FFFD).
int decode(std::string_view text, size_t position, char32_t& codePoint)
{
    const auto byte = [&](size_t i) { return quint8(text[i]); };
    const quint8 lead = byte(position);
    int length = 0;
    if (lead >= 0xf0 && lead < 0xf5) {
        length = 4;
        codePoint = lead & 0x07;
    } else if (lead >= 0xe0) {
        length = 3;
        codePoint = lead & 0x0f;
    } else if (lead >= 0xc2 && lead < 0xe0) {
        length = 2;
        codePoint = lead & 0x1f;
    } else {
        codePoint = 0xfffd;
        return 1;
    }
    if (position + size_t(length) > text.size()) {
        codePoint = 0xfffd;
        return 1;
    }
    for (int i = 1; i < length; ++i) {
        const quint8 next = byte(position + size_t(i));
        if ((next & 0xc0) != 0x80) {
            codePoint = 0xfffd;
            return 1;
        }
        codePoint = (codePoint << 6) | (next & 0x3f);
    }
    return length;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xc0 | (c >> 6));
        out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += char(0xe0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    } else {
        out += char(0xf0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3f));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    }
}

bool isAsciiWordCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Reads runs of word characters and "_", and hands out their words.
template <typename Visit>
void readWords(std::string_view text, Visit&& visit)
{
    std::string run;
    // The separators since the last run: followsClosely needs exactly one space or hyphen.
    int gap = 0;
    bool gapIsClose = false;
    bool haveWord = false;
    const auto flush = [&] {
        if (run.empty())
            return;
        const bool close = haveWord && gap == 1 && gapIsClose;
        if (run.size() >= 2 && run[0] == '_' && run[1] == '_') {
            run.clear();
            haveWord = false;
            gap = 2; // a marker keeps the words around it apart
            return;
        }
        size_t start = 0;
        bool first = true;
        while (start <= run.size()) {
            size_t end = run.find('_', start);
            if (end == std::string::npos)
                end = run.size();
            if (end > start) {
                visit(std::string_view(run).substr(start, end - start), first ? close : true);
                first = false;
                haveWord = true;
            }
            start = end + 1;
        }
        run.clear();
        gap = 0;
        gapIsClose = false;
    };
    size_t position = 0;
    while (position < text.size()) {
        const char c = text[position];
        if (isAsciiWordCharacter(c) || c == '_') {
            run += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
            ++position;
            continue;
        }
        if (quint8(c) < 0x80) {
            flush();
            ++gap;
            gapIsClose = c == ' ' || c == '-';
            ++position;
            continue;
        }
        char32_t codePoint = 0;
        position += size_t(decode(text, position, codePoint));
        if (QChar::isLetterOrNumber(codePoint) || QChar::isMark(codePoint)) {
            appendUtf8(run, QChar::toLower(codePoint));
        } else {
            flush();
            ++gap;
            gapIsClose = false;
        }
    }
    flush();
}

} // namespace

std::vector<EnglishWord> englishWords(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::vector<EnglishWord> words;
    readWords(std::string_view(utf8.constData(), size_t(utf8.size())),
        [&](std::string_view word, bool close) { words.push_back({std::string(word), close}); });
    return words;
}

void forEachEnglishWord(
    std::string_view utf8, const std::function<void(std::string_view word, bool followsClosely)>& visit)
{
    readWords(utf8, visit);
}

bool isContentWord(std::string_view word)
{
    static const std::unordered_set<std::string_view> stopWords = {"a", "about", "above", "after",
        "again", "against", "all", "almost", "also", "although", "am", "among", "an", "and",
        "another", "any", "anyone", "anything", "are", "aren", "around", "as", "at", "be",
        "became", "because", "been", "before", "being", "below", "between", "both", "but", "by",
        "can", "cannot", "could", "couldn", "did", "didn", "do", "does", "doesn", "doing", "don",
        "done", "down", "during", "each", "either", "else", "etc", "even", "ever", "every",
        "few", "for", "from", "further", "get", "gets", "getting", "got", "had", "hadn", "has",
        "hasn", "have", "haven", "having", "he", "her", "here", "hers", "herself", "him",
        "himself", "his", "how", "however", "i", "if", "in", "into", "is", "isn", "it", "its",
        "itself", "just", "let", "ll", "may", "me", "might", "mine", "more", "most", "much",
        "must", "mustn", "my", "myself", "neither", "no", "nor", "not", "now", "of", "off",
        "often", "on", "once", "only", "or", "other", "others", "otherwise", "our", "ours",
        "ourselves", "out", "over", "own", "per", "perhaps", "quite", "rather", "re", "same",
        "shall", "shan", "she", "should", "shouldn", "since", "so", "some", "something", "such",
        "than", "that", "the", "their", "theirs", "them", "themselves", "then", "there",
        "therefore", "these", "they", "this", "those", "though", "through", "thus", "to", "too",
        "toward", "towards", "under", "until", "up", "upon", "us", "ve", "very", "via", "was",
        "wasn", "we", "were", "weren", "what", "whatever", "when", "whenever", "where",
        "whether", "which", "while", "who", "whom", "whose", "why", "will", "with", "within",
        "without", "won", "would", "wouldn", "yet", "you", "your", "yours", "yourself",
        "yourselves",
        // Words that say when, not what: two notes for the same Thursday are not alike.
        "today", "tomorrow", "tonight", "yesterday", "morning", "afternoon", "evening", "night",
        "day", "days", "week", "weeks", "weekend", "month", "months", "year", "years", "hour",
        "hours", "minute", "minutes", "monday", "tuesday", "wednesday", "thursday", "friday",
        "saturday", "sunday", "january", "february", "april", "june", "july", "august",
        "september", "october", "november", "december", "time", "times", "soon", "later", "ago",
        "next", "last", "already", "always", "never", "sometimes", "still", "again",
        // Light words that go with anything.
        "new", "old", "good", "bad", "big", "small", "little", "many", "lot", "lots", "thing",
        "things", "stuff", "way", "need", "needs", "want", "wants", "like", "make", "makes",
        "made", "take", "takes", "took", "put", "use", "used", "go", "goes", "going", "went",
        "come", "comes", "came", "see", "know", "think", "say", "says", "said", "tell", "give",
        "keep", "keeps", "really", "maybe", "ok", "okay", "yes", "please", "thanks", "first",
        "second", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"};
    if (word.size() < 2 || word.size() > 40)
        return false;
    bool digitsOnly = true;
    for (const char c : word) {
        if (c < '0' || c > '9') {
            digitsOnly = false;
            break;
        }
    }
    return !digitsOnly && !stopWords.contains(word);
}

} // namespace vesk
