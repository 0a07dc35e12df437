#pragma once

#include "grid/MenuEntry.h"
#include "platform/ui/ControlText.h"

#include <QList>
#include <QMenu>
#include <functional>

namespace vesk {

// A menu whose destructive entries (those decorateMenuAction marks) are written in the theme's
// destructive colour, as the selection bar's delete button is.
class VeskMenu : public QMenu {
    Q_OBJECT
public:
    explicit VeskMenu(QWidget* parent = nullptr) : QMenu(parent) {}
    VeskMenu(const QString& title, QWidget* parent) : QMenu(title, parent) {}

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
};

// The checkmark of a checked entry and the properties that mark it (and a destructive one).
void decorateMenuAction(QAction* action, bool checked, bool destructive);

// Adds the entries to menu, opening a submenu at each SubmenuBegin. Titles are shown as written,
// "&" included (they come from the user as well as from the program). Choosing an action entry
// calls onTrigger with a copy of it (the menu may outlive the lists it was built from); action
// entries for which include answers false are left out.
template <typename ActionKind>
void fillMenu(QMenu* menu, const QList<MenuEntry<ActionKind>>& entries, QObject* context,
              const std::function<void(const MenuEntry<ActionKind>&)>& onTrigger,
              const std::function<bool(const MenuEntry<ActionKind>&)>& include = {})
{
    using Entry = MenuEntry<ActionKind>;
    QList<QMenu*> stack{menu};
    for (const Entry& entry : entries) {
        QMenu* current = stack.last();
        switch (entry.type) {
        case Entry::Type::Divider: current->addSeparator(); break;
        case Entry::Type::SubmenuBegin: {
            auto* submenu = new VeskMenu(controlText(entry.title), current);
            current->addMenu(submenu);
            stack.append(submenu);
            break;
        }
        case Entry::Type::SubmenuEnd:
            if (stack.size() > 1)
                stack.removeLast();
            break;
        case Entry::Type::Action: {
            if (include && !include(entry))
                break;
            QAction* action = current->addAction(controlText(entry.title));
            action->setEnabled(entry.enabled);
            decorateMenuAction(action, entry.checked, entry.destructive);
            QObject::connect(action, &QAction::triggered, context, [onTrigger, entry] { onTrigger(entry); });
            break;
        }
        }
    }
}

} // namespace vesk
