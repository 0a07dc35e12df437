#pragma once
// What the window shows in place of the library while the library cannot be used: that it could
// not be read (or is missing, or its check found damage), the file and the reason, the newest
// recovery snapshot when there is one with a button that opens it, and a button that opens the
// library folder. A lost library also offers to start a new one, which happens only on that
// click.

#include "model/VeskLibraryProblem.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace vesk {

class LibraryProblemView : public QWidget {
    Q_OBJECT
public:
    explicit LibraryProblemView(QWidget* parent = nullptr);

    void setProblem(const VeskLibraryProblem& problem);
    const VeskLibraryProblem& problem() const { return m_problem; }

    // The texts shown for a problem, one entry per paragraph after the headline.
    static QString headline(const VeskLibraryProblem& problem);
    static QStringList paragraphs(const VeskLibraryProblem& problem);

    QPushButton* openFolderButton() const { return m_openFolder; }
    QPushButton* startNewLibraryButton() const { return m_startNew; }
    QPushButton* openSnapshotButton() const { return m_openSnapshot; }

signals:
    // The folder that holds the library file.
    void openFolderRequested(const QString& folder);
    void startNewLibraryRequested();

private:
    void refreshColors();

    VeskLibraryProblem m_problem;
    QLabel* m_headline = nullptr;
    QLabel* m_body = nullptr;
    QPushButton* m_openFolder = nullptr;
    QPushButton* m_startNew = nullptr;
    QPushButton* m_openSnapshot = nullptr;
};

} // namespace vesk
