#pragma once

#include "grid/ResultStates.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QHBoxLayout;

namespace vesk {

// What the row above the grid says.
struct ResultsHeaderContent {
    bool searching = false;
    BrowseHeaderTexts browse;
    qsizetype filteredCount = 0;
    int importCount = 0;
    qsizetype totalCount = 0;

    friend bool operator==(const ResultsHeaderContent&, const ResultsHeaderContent&) = default;
};

// "Surfaced" with the result count while searching, else the browse title with its subtitle and
// "Show All"/"Show Recent"; then the import indicator and the library total.
class ResultsHeaderWidget : public QWidget {
    Q_OBJECT
public:
    explicit ResultsHeaderWidget(QWidget* parent = nullptr);
    void setContent(const ResultsHeaderContent& content);
    const ResultsHeaderContent& content() const { return m_content; }

signals:
    void toggleShowAllRequested();

private:
    ResultsHeaderContent m_content;
    QWidget* m_surfaced = nullptr;
    QLabel* m_surfacedCount = nullptr;
    QWidget* m_browse = nullptr;
    QLabel* m_browseTitle = nullptr;
    QLabel* m_browseSubtitle = nullptr;
    QPushButton* m_toggle = nullptr;
    QWidget* m_importing = nullptr;
    QLabel* m_importingText = nullptr;
    QLabel* m_total = nullptr;
};

// Shown while more than one item is selected.
class SelectionBarWidget : public QWidget {
    Q_OBJECT
public:
    explicit SelectionBarWidget(QWidget* parent = nullptr);
    void setCount(qsizetype count);
    void setDeleteAvailable(bool available);
    QPushButton* deleteButton() const { return m_delete; }

signals:
    void clearRequested();
    void deleteRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_count = nullptr;
    QPushButton* m_delete = nullptr;
};

// Above the cards while the newest items are cut from a larger library.
class RecentLimitBannerWidget : public QWidget {
    Q_OBJECT
public:
    explicit RecentLimitBannerWidget(QWidget* parent = nullptr);
    void setCounts(int limit, qsizetype filteredCount);

signals:
    void showAllRequested();

private:
    QLabel* m_text = nullptr;
    QPushButton* m_button = nullptr;
};

// In place of the cards when nothing matches.
class EmptyResultsStateWidget : public QWidget {
    Q_OBJECT
public:
    explicit EmptyResultsStateWidget(QWidget* parent = nullptr);
};

// In place of the cards while a search waits for start-up to finish preparing it.
class PreparingSearchStateWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreparingSearchStateWidget(QWidget* parent = nullptr);
};

class SparkleBadge;

// The detail column while nothing is selected.
class NoSelectionPlaceholder : public QWidget {
    Q_OBJECT
public:
    explicit NoSelectionPlaceholder(QWidget* parent = nullptr);

    // The badge above the texts, and how often its picture was drawn (for tests: once per
    // appearance, however often it is painted).
    QWidget* badge() const;
    int badgeDrawCount() const;

private:
    SparkleBadge* m_badge = nullptr;
};

} // namespace vesk
