#pragma once
// Internal to src/store/: text, rich-text, HTML and link captures on their way into the library.

#include "platform/CancellationToken.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class CaptureQueueHost;
class SerialExecutor;
struct NearDuplicateMatch;
struct PreparedCapture;
struct VeskItem;

// Captures enter the library in the order they were made. A small one is made ready and committed
// at once; a large one (a few hundred thousand characters take longer than a frame) is cleaned,
// titled, compared and indexed on a worker of the queue's own, then written on the capture
// worker, and every capture made after it waits for it. A QObject only to receive the workers'
// results.
class CaptureQueue : public QObject {
    Q_OBJECT

public:
    // Hears, once a capture was committed, whether its item is kept (in the list, its row in the
    // library file); a capture dropped with the queue is never heard of.
    using Heard = std::function<void(bool kept)>;

    explicit CaptureQueue(std::unique_ptr<CaptureQueueHost> host, QObject* parent = nullptr);
    // Preparations still running stop at their next step and write nothing; their captures are
    // dropped. The one running is waited for.
    ~CaptureQueue() override;

    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    // Plain text; without a title, a lone http(s) address becomes a link instead.
    void addText(const QString& text, const std::optional<QString>& title, Heard heard = {});
    // A note whose formatted form is RTF; the bytes are kept as given.
    void addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                         const std::optional<QByteArray>& rtf, Heard heard = {});
    // A web page fragment given as UTF-8 bytes.
    void addHTML(const QByteArray& data, Heard heard = {});
    // Titled by its host; the address is kept in its encoded form.
    void addLink(const QUrl& url, Heard heard = {});
    // The text item that says nearly the same as text, if any.
    std::optional<VeskItem> findSimilarText(const QString& text) const;

private:
    using Finder = std::function<QList<NearDuplicateMatch>(const QString&)>;
    struct Pending;

    bool goesThroughQueue(qsizetype size) const;
    // The items of the list that the check accepts for text, on the main thread.
    QList<NearDuplicateMatch> similarMatches(const QString& text) const;
    // The one of them the list names now.
    std::optional<VeskItem> chosenMatch(const QList<NearDuplicateMatch>& matches) const;
    Finder similarOnMainThread() const;
    SerialExecutor& preparationWorker();
    void queue(std::function<PreparedCapture(const Finder&)> prepare, const std::optional<QByteArray>& rtf,
               Heard heard);
    void writeRow(const std::shared_ptr<Pending>& pending, const PreparedCapture& prepared);
    void queuePrepared(const PreparedCapture& prepared, Heard heard);
    void commitReady();
    void commit(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf, Heard heard);

    std::unique_ptr<CaptureQueueHost> m_hostHeld;
    CaptureQueueHost& m_host;
    QList<std::shared_ptr<Pending>> m_pending;
    // Shared with every preparation and row write on the workers.
    CancellationToken m_stop;
    // Made when the first large capture comes.
    std::unique_ptr<SerialExecutor> m_preparation;
};

} // namespace vesk
