#include "search/SemanticEmbeddingEngine.h"

#include "platform/Graphemes.h"
#include "platform/Log.h"
#include "platform/SystemMemory.h"
#include "search/ConceptEmbedder.h"
#include "search/WordNet.h"

namespace vesk {

namespace {

constexpr qsizetype kMaxCharacters = 12'000;

} // namespace

QString embeddingInputText(const VeskItem& item)
{
    return item.title + QLatin1Char('\n') + item.note + QLatin1Char('\n')
        + (item.text ? item.text->toString() : QString()) + QLatin1Char('\n') + item.searchableText.toString();
}

QString preparedEmbeddingText(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    bool inSpace = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            inSpace = true;
            continue;
        }
        if (inSpace && !folded.isEmpty())
            folded += QLatin1Char(' ');
        inSpace = false;
        folded += c;
    }
    // A text of no more code units than the limit cannot hold more characters than it.
    if (folded.size() <= kMaxCharacters)
        return folded;
    return leftGraphemes(folded, kMaxCharacters);
}

QString SemanticEmbeddingEngine::defaultDictionaryFolder()
{
    return QStringLiteral("/usr/share/wordnet");
}

SemanticEmbeddingEngine::SemanticEmbeddingEngine(const QString& dictionaryFolder)
    : m_dictionaryFolder(dictionaryFolder)
{
}

SemanticEmbeddingEngine::~SemanticEmbeddingEngine()
{
    m_executor.waitForDone();
}

QFuture<std::optional<QList<double>>> SemanticEmbeddingEngine::embed(const QString& text)
{
    return m_executor.run([this, text] { return embedOnWorker(text, false); });
}

QFuture<std::optional<QList<double>>> SemanticEmbeddingEngine::embedQuery(const QString& text)
{
    return m_executor.run([this, text] { return embedOnWorker(text, true); });
}

void SemanticEmbeddingEngine::releaseCaches()
{
    // Tens of megabytes after a library was embedded or a few searches typed; freed on this
    // thread, so handed back to the system from here too.
    (void)m_executor.run([this] {
        if (!m_model)
            return;
        m_model->releaseCaches();
        releaseFreeMemory();
    });
}

QFuture<bool> SemanticEmbeddingEngine::prepare()
{
    return m_executor.run([this] {
        loadOnWorker();
        return m_model != nullptr;
    });
}

void SemanticEmbeddingEngine::loadOnWorker()
{
    if (m_loadTried)
        return;
    m_loadTried = true;
    auto wordNet = WordNet::load(m_dictionaryFolder);
    if (wordNet)
        m_model = std::make_unique<ConceptEmbedder>(std::shared_ptr<const WordNet>(std::move(*wordNet)));
    else
        veskLog(QStringLiteral("Vesk embedding model load error: ") + wordNet.error());
    // Reading it made and dropped as much again as it keeps; the dictionary is read while
    // start-up ends, when nothing else comes to a quiet moment soon.
    releaseFreeMemory();
}

std::optional<QList<double>> SemanticEmbeddingEngine::embedOnWorker(const QString& text, bool query)
{
    const QString prepared = preparedEmbeddingText(text);
    if (prepared.isEmpty())
        return std::nullopt;
    loadOnWorker();
    if (!m_model)
        return std::nullopt;
    const std::vector<float> vector = query ? m_model->embedQuery(prepared) : m_model->embed(prepared);
    if (vector.empty())
        return std::nullopt;
    return QList<double>(vector.begin(), vector.end());
}

} // namespace vesk
