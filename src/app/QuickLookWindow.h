#pragma once
// A quick preview of a file, toggled with Space from the grid: pictures, a PDF's first page and
// text files show their contents; any other file shows its type's symbol (from the icon font the
// whole window uses, so it shows without a desktop icon theme) and its name. The file is read
// off the main thread; only the newest request is shown.

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace vesk {

// What the window shows for a file, read without touching widgets.
struct QuickLookContent {
    QImage image;     // a picture or a PDF page
    QString text;     // a text file's beginning
    QString symbol;   // otherwise the symbol of the file's type
    QString title;
};
QuickLookContent loadQuickLookContent(const QString& path, QSize maxImageSize);

class QuickLookWindow : public QWidget {
    Q_OBJECT
public:
    explicit QuickLookWindow(QWidget* parent = nullptr);

    const QString& previewPath() const { return m_path; }
    void showPath(const QString& path);
    bool isShowingContent() const { return m_loaded; }
    // The page of a file without a picture or text: its type's symbol over its name.
    QLabel* symbolLabel() const { return m_icon; }
    QLabel* nameLabel() const { return m_name; }
    QWidget* currentPage() const;

signals:
    void contentShown();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void present(const QuickLookContent& content);

    QString m_path;
    quint64 m_ticket = 0;
    bool m_loaded = false;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_picture = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QWidget* m_iconPage = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_name = nullptr;
};

// The one preview window of the process, created on first use.
class VeskQuickLookController {
public:
    VeskQuickLookController() = default;
    ~VeskQuickLookController() { delete m_window.data(); }
    VeskQuickLookController(const VeskQuickLookController&) = delete;
    VeskQuickLookController& operator=(const VeskQuickLookController&) = delete;

    // Shows the file, or hides the window when it already shows this file.
    void showQuickLookPanel(const QString& path);
    // Hides the window (when it exists) and forgets the file.
    void close();
    bool isVisible() const { return m_window && m_window->isVisible(); }
    const QString& previewPath() const { return m_previewPath; }
    QuickLookWindow* window() const { return m_window; }

private:
    QPointer<QuickLookWindow> m_window;
    QString m_previewPath;
};

} // namespace vesk
