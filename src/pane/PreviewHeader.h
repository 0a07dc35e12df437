#pragma once
// The top row of the preview pane: the kind's symbol, the Bring Back menu, the Edit and Edit Image
// actions and the format badge. The pane keeps one and hands it each item it shows.

#include "model/VeskItem.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace vesk {

class BringBackMenuButton;
class VeskStore;

class PreviewHeader : public QWidget {
    Q_OBJECT
public:
    PreviewHeader(VeskStore& store, const VeskItem& item, QWidget* parent = nullptr);

    // Shows item's symbol, actions and format; Edit Image is offered only when its sheet is.
    void setItem(const VeskItem& item, bool offersEditImage);

signals:
    void editRequested();
    void editImageRequested();
    void bringBackPickerRequested();

private:
    class KindIcon;
    class FormatBadge;

    KindIcon* m_icon = nullptr;
    BringBackMenuButton* m_bringBack = nullptr;
    // Made when an item first shows them; only the items that show them have them.
    QPushButton* m_edit = nullptr;
    QPushButton* m_editImage = nullptr;
    FormatBadge* m_badge = nullptr;
};

} // namespace vesk
