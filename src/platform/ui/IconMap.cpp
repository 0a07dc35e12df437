#include "platform/ui/IconMap.h"

#include "platform/Log.h"
#include "platform/ui/Theme.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QSet>
#include <QStandardPaths>

namespace vesk {

namespace {

struct SymbolEntry {
    const char* symbol;
    const char* material;
    char32_t codepoint;
};

// Codepoints of the Material Icons font as shipped by Debian's fonts-material-design-icons-iconfont.
constexpr SymbolEntry kSymbols[] = {
    {"sparkle.magnifyingglass", "manage_search", 0xf02f},
    {"magnifyingglass", "search", 0xe8b6},
    {"xmark.circle.fill", "cancel", 0xe5c9},
    {"xmark.circle", "highlight_off", 0xe888},
    {"xmark", "close", 0xe5cd},
    {"pin.fill", "push_pin", 0xf10d},
    {"pin", "push_pin", 0xf10d},
    {"lock.shield.fill", "security", 0xe32a},
    {"lock.fill", "lock", 0xe897},
    {"lock", "lock", 0xe897},
    {"key.fill", "vpn_key", 0xe0da},
    {"folder", "folder", 0xe2c7},
    {"ellipsis.circle", "pending", 0xef64},
    {"ellipsis", "more_horiz", 0xe5d3},
    {"plus", "add", 0xe145},
    {"plus.circle.fill", "add_circle", 0xe147},
    {"checkmark", "check", 0xe5ca},
    {"checkmark.circle", "check_circle_outline", 0xe92d},
    {"checkmark.circle.fill", "check_circle", 0xe86c},
    {"circle.fill", "circle", 0xef4a},
    {"circle", "radio_button_unchecked", 0xe836},
    {"circle.dotted", "radio_button_unchecked", 0xe836},
    {"oval", "panorama_fish_eye", 0xe40c},
    {"rectangle", "crop_square", 0xe3c6},
    {"doc", "insert_drive_file", 0xe24d},
    {"doc.text", "description", 0xe873},
    {"doc.richtext", "picture_as_pdf", 0xe415},
    {"doc.on.doc", "content_copy", 0xe14d},
    {"archivebox", "archive", 0xe149},
    {"tablecells", "table_chart", 0xe265},
    {"rectangle.on.rectangle", "slideshow", 0xe41b},
    {"film", "movie", 0xe02c},
    {"waveform", "graphic_eq", 0xe1b8},
    {"globe", "language", 0xe894},
    {"link", "link", 0xe157},
    {"photo", "image", 0xe3f4},
    {"photo.on.rectangle", "photo_library", 0xe413},
    {"photo.badge.exclamationmark", "broken_image", 0xe3ad},
    {"text.alignleft", "format_align_left", 0xe236},
    {"bold", "format_bold", 0xe238},
    {"italic", "format_italic", 0xe23f},
    {"underline", "format_underlined", 0xe249},
    {"text.aligncenter", "format_align_center", 0xe234},
    {"text.alignright", "format_align_right", 0xe237},
    {"list.bullet", "format_list_bulleted", 0xe241},
    {"list.number", "format_list_numbered", 0xe242},
    {"checklist", "checklist", 0xe6b1},
    {"figure.walk.motion", "directions_walk", 0xe536},
    {"trash", "delete", 0xe872},
    {"delete.left", "backspace", 0xe14a},
    {"pencil", "edit", 0xe3c9},
    {"pencil.tip", "edit", 0xe3c9},
    {"pencil.tip.crop.circle", "draw", 0xe746},
    {"scribble", "gesture", 0xe155},
    {"highlighter", "border_color", 0xe22b},
    {"textformat", "text_fields", 0xe262},
    {"line.diagonal", "horizontal_rule", 0xf108},
    {"scissors", "content_cut", 0xe14e},
    {"eye", "visibility", 0xe8f4},
    {"eye.slash", "visibility_off", 0xe8f5},
    {"exclamationmark.triangle", "warning", 0xe002},
    {"arrow.uturn.backward", "undo", 0xe166},
    {"arrow.uturn.forward", "redo", 0xe15a},
    {"arrow.uturn.backward.circle", "replay", 0xe042},
    {"arrow.uturn.backward.circle.fill", "replay_circle_filled", 0xe9d8},
    {"arrow.up.right", "north_east", 0xf1e1},
    {"arrow.up.forward", "open_in_new", 0xe89e},
    {"arrow.turn.down.right", "subdirectory_arrow_right", 0xe5da},
    {"arrow.left.arrow.right", "swap_horiz", 0xe8d4},
    {"arrow.left.and.right.righttriangle.left.righttriangle.right", "flip", 0xe3e8},
    {"arrow.counterclockwise", "restart_alt", 0xf053},
    {"rotate.left", "rotate_left", 0xe419},
    {"rotate.right", "rotate_right", 0xe41a},
    {"clock.arrow.circlepath", "history", 0xe889},
    {"clock.badge.checkmark", "alarm_on", 0xe858},
    {"clock", "schedule", 0xe8b5},
    {"hourglass", "hourglass_empty", 0xe88b},
    {"square.and.arrow.down", "save_alt", 0xe171},
    {"square.stack.3d.up", "layers", 0xe53b},
    {"square.stack.3d.up.fill", "layers", 0xe53b},
    {"slider.horizontal.3", "tune", 0xe429},
    {"quote.opening", "format_quote", 0xe244},
    {"speaker.fill", "volume_mute", 0xe04e},
    {"speaker.wave.3.fill", "volume_up", 0xe050},
    {"play.fill", "play_arrow", 0xe037},
    {"pause.fill", "pause", 0xe034},
    {"arrow.up.left.and.arrow.down.right", "fullscreen", 0xe5d0},
    {"play.rectangle", "smart_display", 0xf06a},
    {"video", "videocam", 0xe04b},
    {"person.crop.square", "account_box", 0xe851},
    {"person.crop.rectangle.stack", "recent_actors", 0xe03f},
    {"person.2", "people", 0xe7fb},
    {"line.3.horizontal", "menu", 0xe5d2},
    {"text.viewfinder", "document_scanner", 0xe5fa},
    {"externaldrive", "storage", 0xe1db},
    {"internaldrive", "storage", 0xe1db},
    {"number", "tag", 0xe9ef},
    {"paperclip", "attach_file", 0xe226},
    {"sparkles", "auto_awesome", 0xe65f},
    {"creditcard.fill", "credit_card", 0xe870},
    {"creditcard", "credit_card", 0xe870},
    {"note.text", "sticky_note_2", 0xf1fc},
    {"questionmark.circle", "help_outline", 0xe8fd},
    {"tray.and.arrow.down", "move_to_inbox", 0xe168},
    {"calendar", "calendar_today", 0xe935},
    {"bell", "notifications", 0xe7f4},
    {"moon.fill", "dark_mode", 0xe51c},
    {"sun.max.fill", "light_mode", 0xe518},
};

constexpr char32_t kFallbackCodepoint = 0xe8fd; // help_outline

const QHash<QString, const SymbolEntry*>& symbolIndex()
{
    static const QHash<QString, const SymbolEntry*> index = [] {
        QHash<QString, const SymbolEntry*> map;
        for (const SymbolEntry& entry : kSymbols)
            map.insert(QString::fromLatin1(entry.symbol), &entry);
        return map;
    }();
    return index;
}

QString loadFontFamily()
{
    const QString relative = QStringLiteral("fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf");
    QStringList candidates = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, relative);
    candidates << QStringLiteral("/usr/share/") + relative << QStringLiteral("/usr/local/share/") + relative;
    for (const QString& path : candidates) {
        if (!QFileInfo::exists(path))
            continue;
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0)
            continue;
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            return families.first();
    }
    // Installed system-wide, fontconfig may already know it under its own name.
    if (QFontDatabase::families().contains(QStringLiteral("Material Icons")))
        return QStringLiteral("Material Icons");
    veskLog(QStringLiteral("Vesk icon font error: MaterialIcons-Regular.ttf not found"));
    return {};
}

void logUnknownOnce(const QString& symbolName)
{
    // Cards are painted on the painting pool's threads, so two of them can meet an unknown name at once.
    static QMutex mutex;
    static QSet<QString> logged;
    {
        const QMutexLocker lock(&mutex);
        if (logged.contains(symbolName))
            return;
        logged.insert(symbolName);
    }
    veskLog(QStringLiteral("Vesk icon map error for ") + symbolName);
}

} // namespace

QString IconMap::fontFamily()
{
    static const QString family = loadFontFamily();
    return family;
}

bool IconMap::ensureFontLoaded()
{
    return !fontFamily().isEmpty();
}

QFont IconMap::font(qreal points)
{
    QFont f = Theme::font(points);
    const QString family = fontFamily();
    if (!family.isEmpty())
        f.setFamilies({family});
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    // Hinting shifts glyph outlines by whole pixels; icons look better unhinted at small sizes.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::NoFontMerging);
    return f;
}

std::optional<QString> IconMap::materialName(const QString& symbolName)
{
    const auto* entry = symbolIndex().value(symbolName, nullptr);
    if (!entry)
        return std::nullopt;
    return QString::fromLatin1(entry->material);
}

std::optional<char32_t> IconMap::codepoint(const QString& symbolName)
{
    const auto* entry = symbolIndex().value(symbolName, nullptr);
    if (!entry)
        return std::nullopt;
    return entry->codepoint;
}

QString IconMap::glyph(const QString& symbolName)
{
    std::optional<char32_t> cp = codepoint(symbolName);
    if (!cp) {
        logUnknownOnce(symbolName);
        cp = kFallbackCodepoint;
    }
    const char32_t value = *cp;
    return QString::fromUcs4(&value, 1);
}

QStringList IconMap::knownSymbols()
{
    QStringList names;
    for (const SymbolEntry& entry : kSymbols)
        names << QString::fromLatin1(entry.symbol);
    return names;
}

void IconMap::paint(QPainter& painter, const QRectF& rect, const QString& symbolName, const QColor& color,
                    qreal points, qreal rotationDegrees)
{
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font(points));
    painter.setPen(color);
    if (rotationDegrees != 0.0) {
        const QPointF centre = rect.center();
        painter.translate(centre);
        painter.rotate(rotationDegrees);
        painter.translate(-centre);
    }
    painter.drawText(rect, Qt::AlignCenter, glyph(symbolName));
    painter.restore();
}

QPixmap IconMap::pixmap(const QString& symbolName, const QColor& color, int size, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QPixmap pix(qMax(1, qRound(size * ratio)), qMax(1, qRound(size * ratio)));
    pix.setDevicePixelRatio(ratio);
    pix.fill(Qt::transparent);
    QPainter painter(&pix);
    // Material glyphs are designed on a 24-unit grid that fills the em square.
    paint(painter, QRectF(0, 0, size, size), symbolName, color, size);
    return pix;
}

QIcon IconMap::icon(const QString& symbolName, const QColor& color, int size)
{
    QIcon result;
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    result.addPixmap(pixmap(symbolName, color, size, ratio), QIcon::Normal);
    result.addPixmap(pixmap(symbolName, Theme::withOpacity(color, 0.35), size, ratio), QIcon::Disabled);
    return result;
}

} // namespace vesk
