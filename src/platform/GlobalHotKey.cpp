#include "platform/GlobalHotKey.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace vesk {

namespace {

// The lock modifiers a grab must also cover: Caps Lock and (on nearly every layout) Num Lock.
constexpr quint16 kNumLockMask = XCB_MOD_MASK_2;
constexpr quint16 kLockVariants[] = {0, XCB_MOD_MASK_LOCK, kNumLockMask, XCB_MOD_MASK_LOCK | kNumLockMask};

QNativeInterface::QX11Application* x11()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
}

} // namespace

quint32 fourCharCode(const QString& text)
{
    quint32 code = 0;
    for (const char byte : text.toUtf8())
        code = (code << 8) | quint8(byte);
    return code;
}

GlobalHotKey::GlobalHotKey(Qt::Key key, Qt::KeyboardModifiers modifiers, quint32 identifier, QObject* parent)
    : QObject(parent)
    // Latin letters' keysyms are their lower-case codes, digits' their own.
    , m_keysym(key >= Qt::Key_A && key <= Qt::Key_Z ? quint32(key) - Qt::Key_A + 'a' : quint32(key))
    , m_identifier(identifier)
{
    if (modifiers & Qt::ShiftModifier)
        m_modifiers |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        m_modifiers |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        m_modifiers |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        m_modifiers |= XCB_MOD_MASK_4;
}

GlobalHotKey::~GlobalHotKey()
{
    release();
}

std::optional<HotKeyFailure> GlobalHotKey::start()
{
    if (m_started)
        return std::nullopt;
    release();
    QNativeInterface::QX11Application* native = x11();
    xcb_connection_t* connection = native ? native->connection() : nullptr;
    Display* display = native ? native->display() : nullptr;
    if (!connection || !display)
        return HotKeyFailure{QStringLiteral("event handler"), -1};
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_filterInstalled = true;

    const xcb_setup_t* setup = xcb_get_setup(connection);
    m_root = xcb_setup_roots_iterator(setup).data->root;
    m_keycode = XKeysymToKeycode(display, m_keysym);
    if (m_keycode == 0) {
        release();
        return HotKeyFailure{QStringLiteral("shortcut"), 0};
    }
    // Every variant is asked for first and the answers read afterwards: one round trip in all.
    xcb_void_cookie_t cookies[std::size(kLockVariants)];
    for (size_t i = 0; i < std::size(kLockVariants); ++i)
        cookies[i] = xcb_grab_key_checked(connection, 1, m_root, m_modifiers | kLockVariants[i], m_keycode,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    int failure = 0;
    for (xcb_void_cookie_t cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            if (failure == 0)
                failure = error->error_code;
            free(error);
        }
    }
    if (failure != 0) {
        release();
        return HotKeyFailure{QStringLiteral("shortcut"), failure};
    }
    m_started = true;
    return std::nullopt;
}

void GlobalHotKey::release()
{
    if (m_started || m_keycode != 0) {
        if (QNativeInterface::QX11Application* native = x11(); native && native->connection() && m_root) {
            for (quint16 variant : kLockVariants)
                xcb_ungrab_key(native->connection(), m_keycode, m_root, m_modifiers | variant);
            xcb_flush(native->connection());
        }
    }
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filterInstalled = false;
    m_started = false;
    m_keycode = 0;
}

bool GlobalHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_started || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    const quint16 state = press->state & ~(XCB_MOD_MASK_LOCK | kNumLockMask);
    if (press->detail == m_keycode && state == m_modifiers && press->event == m_root)
        QMetaObject::invokeMethod(this, [this] { emit pressed(m_identifier); }, Qt::QueuedConnection);
    // Never swallowed: another registration of the same connection may own this key.
    return false;
}

} // namespace vesk
