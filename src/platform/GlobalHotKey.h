#pragma once
// A system-wide key combination on X11: a passive grab of the key on the root window (with the
// Caps Lock and Num Lock variants, so the key works whatever their state), whose presses are read
// from the display connection by a native event filter. The filter never swallows an event, so
// several registrations on one connection each see their own key. Without an X11 connection (a
// Wayland session, or no display at all) registration fails at its first stage.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>

#include <optional>

namespace vesk {

// Packs up to the last four UTF-8 bytes of `text` into 32 bits, the first in the highest byte.
quint32 fourCharCode(const QString& text);

struct HotKeyFailure {
    // "event handler" when key presses cannot be read at all, "shortcut" when the key itself
    // cannot be taken (another program holds it).
    QString stage;
    // The X server's error code, or -1 when there is no X11 connection.
    int status = 0;

    friend bool operator==(const HotKeyFailure&, const HotKeyFailure&) = default;
};

class GlobalHotKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // A letter or digit key with Control, Alt, Shift or Meta.
    GlobalHotKey(Qt::Key key, Qt::KeyboardModifiers modifiers, quint32 identifier, QObject* parent = nullptr);
    ~GlobalHotKey() override;

    // Takes the key. Nothing when it worked (or had already worked); otherwise what failed, with
    // everything taken so far given back.
    std::optional<HotKeyFailure> start();
    bool hasStarted() const { return m_started; }
    quint32 identifier() const { return m_identifier; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // The key combination was pressed; delivered on the main thread's next turn.
    void pressed(quint32 identifier);

private:
    void release();

    quint32 m_keysym;
    quint16 m_modifiers = 0;
    quint32 m_identifier;
    quint8 m_keycode = 0;
    quint32 m_root = 0;
    bool m_filterInstalled = false;
    bool m_started = false;
};

} // namespace vesk
