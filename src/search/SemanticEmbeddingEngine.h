#pragma once

#include "platform/SerialExecutor.h"
#include "model/ServiceInterfaces.h"
#include "model/VeskItem.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace vesk {

class ConceptEmbedder;

// The text of an item that is embedded: its title, note, text and searchable text joined by line
// feeds, empty ones keeping their place.
QString embeddingInputText(const VeskItem& item);

// Text as the engine reads it: every run of white space one space, trimmed at both ends, cut to
// its first 12,000 user-perceived characters.
QString preparedEmbeddingText(const QString& text);

// The sentence embedding of English text, computed on the engine's own thread one text at a
// time: an actor. Its model is a concept embedding over WordNet, read from the dictionary folder
// on that thread the first time a text needs it; when the dictionary cannot be read, every text
// gives nothing (and the failure is logged once).
class SemanticEmbeddingEngine final : public EmbeddingEngine {
public:
    // Written beside each stored vector.
    static inline const QString modelIdentifier = QStringLiteral("Vesk-WordNet-English-3");
    static QString defaultDictionaryFolder();

    explicit SemanticEmbeddingEngine(const QString& dictionaryFolder = defaultDictionaryFolder());
    ~SemanticEmbeddingEngine() override;

    SemanticEmbeddingEngine(const SemanticEmbeddingEngine&) = delete;
    SemanticEmbeddingEngine& operator=(const SemanticEmbeddingEngine&) = delete;

    // The unit vector of the prepared text, or nothing for a text that is empty once prepared.
    QFuture<std::optional<QList<double>>> embed(const QString& text) override;
    // A search's words reach further through the dictionary than an item's.
    QFuture<std::optional<QList<double>>> embedQuery(const QString& text) override;
    QString modelName() const override { return modelIdentifier; }
    // After the texts already handed over; the dictionary itself stays.
    void releaseCaches() override;
    // Reads the dictionary now rather than for the first text.
    QFuture<bool> prepare() override;

private:
    std::optional<QList<double>> embedOnWorker(const QString& text, bool query);
    void loadOnWorker();

    const QString m_dictionaryFolder;
    // Touched only on the worker.
    bool m_loadTried = false;
    std::unique_ptr<ConceptEmbedder> m_model;
    // Last, so that it is destroyed first: its destructor waits for the running text.
    // Bulk work: the main thread is preferred whenever it wants a core.
    SerialExecutor m_executor{QThread::LowPriority};
};

} // namespace vesk
