#pragma once
// The two global hot keys: Control+Alt+T brings the main window forward with its search field
// focused ("VeskSummonSearch"), Control+Alt+V captures the clipboard ("Vesk.CaptureClipboard").
// Both share the signature "VESK" and are told apart by their identifiers, 1 and 2.

#include "platform/GlobalHotKey.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace vesk {

inline constexpr quint32 kSummonHotKeyIdentifier = 1;
inline constexpr quint32 kClipboardHotKeyIdentifier = 2;

// Control+Alt+T. A failed start is reported (one log line and an alert) and tried again at the
// next start; a started key stays taken until the process ends.
class VeskHotKey : public QObject {
    Q_OBJECT
public:
    using FailureReporter = std::function<void(const HotKeyFailure&)>;

    explicit VeskHotKey(QObject* parent = nullptr);

    void start();
    bool hasStarted() const { return m_key.hasStarted(); }
    const GlobalHotKey& key() const { return m_key; }

    // The main window the key raises; About windows and tool panels are never raised.
    void setMainWindow(QWidget* window) { m_window = window; }
    // Replaces the alert (tests).
    void setFailureReporter(FailureReporter reporter) { m_report = std::move(reporter); }

    // Brings the application and its main window forward, then posts "VeskSummonSearch" after
    // 20 ms when it was already active, 80 ms otherwise.
    void summonMainWindow();

    // "Vesk global hotkey <stage> registration failed: <status>", then the alert.
    static void reportHotKeyFailure(const HotKeyFailure& failure);
    static QString failureAlertText(const HotKeyFailure& failure);

private:
    GlobalHotKey m_key;
    QPointer<QWidget> m_window;
    FailureReporter m_report;
};

} // namespace vesk
