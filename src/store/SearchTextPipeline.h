#pragma once

#include "platform/Timers.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

// One subscription to the search text: a value equal to the previous one is dropped, then the
// value is delivered once the text has stayed unchanged for the delay. The receiver runs on the
// thread of the pipeline (the main thread); destroying the pipeline drops a pending delivery.
class SearchTextPipeline : public QObject {
    Q_OBJECT

public:
    using Receiver = std::function<void(const QString&)>;

    SearchTextPipeline(int delayMs, Receiver receiver, std::shared_ptr<Timers> timers = SystemTimers::shared(),
                       QObject* parent = nullptr);

    // Feeds a new value of the search text.
    void send(const QString& text);

private:
    void deliver();

    int m_delayMs;
    std::shared_ptr<Timers> m_timers;
    std::shared_ptr<PendingDelay> m_delay;
    Receiver m_receiver;
    std::optional<QString> m_previous;
    QString m_pending;
};

} // namespace vesk
