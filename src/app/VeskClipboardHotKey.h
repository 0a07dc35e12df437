#pragma once

#include "app/VeskHotKey.h"

#include <QObject>

namespace vesk {

// Control+Alt+V: started once; a failure is silent and never retried.
class VeskClipboardHotKey : public QObject {
    Q_OBJECT
public:
    explicit VeskClipboardHotKey(QObject* parent = nullptr);

    void start();
    bool hasStarted() const { return m_key.hasStarted(); }
    bool startWasAttempted() const { return m_attempted; }

private:
    GlobalHotKey m_key;
    bool m_attempted = false;
};

} // namespace vesk
