#pragma once
// The top row of the preview pane: the kind's symbol, the Bring Back menu, the Edit and Edit Image
// actions and the format badge. The pane keeps one and hands it each item it shows.

#include "model/VeskItem.h"

#include <QIcon>
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

    // The least width of the row: its actions without their symbols.
    QSize minimumSizeHint() const override;
    bool showsActionSymbols() const { return m_symbolsShown; }

signals:
    void editRequested();
    void editImageRequested();
    void bringBackPickerRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class KindIcon;
    class FormatBadge;

    // In a column too narrow for the whole row the actions leave out their symbols, so that their
    // words and the whole badge still fit and the row never widens the pane's other parts.
    void measure();
    void fitSymbols();
    void setSymbolsShown(bool shown);

    KindIcon* m_icon = nullptr;
    BringBackMenuButton* m_bringBack = nullptr;
    // Made when an item first shows them; only the items that show them have them.
    QPushButton* m_edit = nullptr;
    QPushButton* m_editImage = nullptr;
    FormatBadge* m_badge = nullptr;
    QIcon m_editIcon;
    QIcon m_editImageIcon;
    // The row's least width with and without the actions' symbols.
    int m_withSymbols = 0;
    int m_withoutSymbols = 0;
    bool m_symbolsShown = true;
    // The actions and badge text the widths were measured for.
    QString m_measuredParts;
};

} // namespace vesk
