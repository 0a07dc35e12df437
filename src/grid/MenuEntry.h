#pragma once
// A menu described as a list of entries: decided by pure functions that tests read without a
// window, and built into a QMenu by fillMenu (grid/MenuBuilder.h).

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

template <typename ActionKind>
struct MenuEntry {
    enum class Type { Action, Divider, SubmenuBegin, SubmenuEnd };
    Type type = Type::Action;
    QString title;
    ActionKind action{};
    std::optional<QUuid> groupID;
    bool enabled = true;
    bool checked = false;
    bool destructive = false;

    static MenuEntry command(const QString& title, ActionKind action)
    {
        MenuEntry entry;
        entry.title = title;
        entry.action = action;
        return entry;
    }
    static MenuEntry marker(Type type, const QString& title = {})
    {
        MenuEntry entry;
        entry.type = type;
        entry.title = title;
        return entry;
    }

    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

} // namespace vesk
