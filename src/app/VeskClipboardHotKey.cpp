#include "app/VeskClipboardHotKey.h"

#include "platform/NotificationCenter.h"

namespace vesk {

VeskClipboardHotKey::VeskClipboardHotKey(QObject* parent)
    : QObject(parent)
    , m_key(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, kClipboardHotKeyIdentifier)
{
    connect(&m_key, &GlobalHotKey::pressed, this, [](quint32 identifier) {
        if (identifier == kClipboardHotKeyIdentifier)
            NotificationCenter::shared().post(kCaptureClipboardNotification);
    });
}

void VeskClipboardHotKey::start()
{
    if (m_attempted)
        return;
    m_attempted = true;
    // A clipboard key that cannot be had simply does nothing.
    (void)m_key.start();
}

} // namespace vesk
