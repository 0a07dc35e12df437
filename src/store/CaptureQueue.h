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
struct PreparedCapture;
struct VeskItem;

// Captures enter the library in the order they were made. A small one is made ready and committed
// at once; a large one (a few hundred thousand characters take longer than a frame) is cleaned,
// titled, compared, indexed and written on the capture worker, and every capture made after it
// waits for it. A QObject only to receive the worker's results.
class CaptureQueue : public QObject {
    Q_OBJECT

public:
    explicit CaptureQueue(std::unique_ptr<CaptureQueueHost> host, QObject* parent = nullptr);
    // Preparations still running stop at their next step and write nothing; their captures are
    // dropped.
    ~CaptureQueue() override;

    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    // Plain text; without a title, a lone http(s) address becomes a link instead.
    void addText(const QString& text, const std::optional<QString>& title);
    // A note whose formatted form is RTF; the bytes are kept as given.
    void addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                         const std::optional<QByteArray>& rtf);
    // A web page fragment given as UTF-8 bytes.
    void addHTML(const QByteArray& data);
    // Titled by its host; the address is kept in its encoded form.
    void addLink(const QUrl& url);
    // The text item that says nearly the same as text, if any.
    std::optional<VeskItem> findSimilarText(const QString& text) const;

private:
    using Finder = std::function<std::optional<VeskItem>(const QString&)>;
    struct Pending;

    bool goesThroughQueue(qsizetype size) const;
    Finder similarOnMainThread() const;
    void queue(std::function<PreparedCapture(const Finder&)> prepare, const std::optional<QByteArray>& rtf);
    void queuePrepared(const PreparedCapture& prepared);
    void commitReady();
    void commit(const PreparedCapture& prepared, const std::optional<QByteArray>& rtf);

    std::unique_ptr<CaptureQueueHost> m_hostHeld;
    CaptureQueueHost& m_host;
    QList<std::shared_ptr<Pending>> m_pending;
    // Shared with every preparation on the worker.
    CancellationToken m_stop;
};

} // namespace vesk
