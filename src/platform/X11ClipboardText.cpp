#include "platform/X11ClipboardText.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace vesk {

namespace {

using Clock = std::chrono::steady_clock;

// An owner's estimate of a text's size is taken up to this; a larger text grows as it comes.
constexpr uint32_t kLargestReservation = 64u << 20;

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// The next event the predicate accepts (the others are dropped), or nothing once the deadline
// passes or the connection breaks.
XcbReply<xcb_generic_event_t> waitForEvent(xcb_connection_t* connection, Clock::time_point deadline,
                                           const std::function<bool(const xcb_generic_event_t&)>& wanted)
{
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            XcbReply<xcb_generic_event_t> held(event);
            if (wanted(*held))
                return held;
        }
        if (xcb_connection_has_error(connection))
            return nullptr;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return nullptr;
        pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
        (void)::poll(&descriptor, 1, int(std::min<long long>(left, 1000)));
    }
}

// Reads the property whole and deletes it, which is also what asks an owner sending in pieces for
// the next one.
XcbReply<xcb_get_property_reply_t> takeProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property)
{
    return XcbReply<xcb_get_property_reply_t>(xcb_get_property_reply(
        connection, xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
        nullptr));
}

std::optional<QByteArray> readClipboardBytes(xcb_connection_t* connection, int screenNumber,
                                             std::chrono::milliseconds patience)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0)
        return std::nullopt;

    // Every name is asked for first and the answers read afterwards: one round trip in all.
    const char* const names[] = {"CLIPBOARD", "UTF8_STRING", "INCR", "VESK_CLIPBOARD_TEXT"};
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, uint16_t(std::strlen(names[i])), names[i]);
    xcb_atom_t atoms[std::size(names)] = {};
    for (size_t i = 0; i < std::size(names); ++i) {
        XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
        if (!reply)
            return std::nullopt;
        atoms[i] = reply->atom;
    }
    const xcb_atom_t clipboard = atoms[0], utf8 = atoms[1], incremental = atoms[2], property = atoms[3];

    // An unmapped window of our own receives the text; the owner's pieces are announced by its
    // property changes.
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    xcb_convert_selection(connection, window, clipboard, utf8, property, XCB_CURRENT_TIME);
    xcb_flush(connection);

    const auto notified = waitForEvent(connection, Clock::now() + patience, [&](const xcb_generic_event_t& event) {
        return (event.response_type & 0x7f) == XCB_SELECTION_NOTIFY
            && reinterpret_cast<const xcb_selection_notify_event_t&>(event).requestor == window;
    });
    if (!notified || reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get())->property == XCB_NONE)
        return std::nullopt;

    XcbReply<xcb_get_property_reply_t> first = takeProperty(connection, window, property);
    if (!first)
        return std::nullopt;
    if (first->type != incremental) {
        // An owner that answers with text of another type (Latin-1 "STRING") is read by Qt's own
        // conversions instead.
        if (first->type != utf8 || first->format != 8)
            return std::nullopt;
        return QByteArray(static_cast<const char*>(xcb_get_property_value(first.get())),
                          xcb_get_property_value_length(first.get()));
    }

    // In pieces: the first property holds the owner's estimate of the size; each later piece
    // comes as a new value of the property, and an empty one ends the text.
    QByteArray bytes;
    if (first->format == 32 && xcb_get_property_value_length(first.get()) >= 4) {
        uint32_t estimate = 0;
        std::memcpy(&estimate, xcb_get_property_value(first.get()), sizeof estimate);
        bytes.reserve(qsizetype(std::min<uint32_t>(estimate, kLargestReservation)));
    }
    first.reset();
    xcb_flush(connection);
    for (;;) {
        const auto changed = waitForEvent(connection, Clock::now() + patience, [&](const xcb_generic_event_t& event) {
            if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            return notify.window == window && notify.atom == property && notify.state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!changed)
            return std::nullopt;
        XcbReply<xcb_get_property_reply_t> piece = takeProperty(connection, window, property);
        xcb_flush(connection);
        if (!piece || (piece->format != 8 && xcb_get_property_value_length(piece.get()) > 0))
            return std::nullopt;
        const int length = xcb_get_property_value_length(piece.get());
        if (length == 0)
            return bytes;
        bytes.append(static_cast<const char*>(xcb_get_property_value(piece.get())), length);
    }
}

} // namespace

std::optional<QByteArray> x11DisplayName()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* native = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = native ? native->display() : nullptr;
    if (!display)
        return std::nullopt;
    return QByteArray(DisplayString(display));
}

std::optional<QString> readX11ClipboardText(const QByteArray& display, std::chrono::milliseconds patience)
{
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(
        xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get()))
        return std::nullopt;
    std::optional<QByteArray> bytes = readClipboardBytes(connection.get(), screenNumber, patience);
    if (!bytes)
        return std::nullopt;
    // Some owners end their text with a NUL, as a C string.
    if (bytes->endsWith('\0'))
        bytes->chop(1);
    return QString::fromUtf8(*bytes);
}

} // namespace vesk
