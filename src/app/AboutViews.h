#pragma once
// Who Vesk is, in two forms that share their material: the About window (its own window, in the
// appearance the setting asks for) and the About card (a sheet of the main window that follows
// the current appearance).

#include "platform/ui/Theme.h"

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;

namespace vesk {

class Settings;

// "Version <short>  •  Build <build>", with 1.0 and 1 standing in for a missing value or one
// that is not text.
QString aboutVersionLine(const QVariant& shortVersion, const QVariant& build);
// The version line of this build.
QString aboutVersionLine();

// The maker's link label, address and line.
QString makerName();
QString makerAddress();
QString makerLine();
// Opens the maker's address in the default browser when it parses as a URL.
void openMakerWebsite();

// The application's icon: the blue pin medallion of the wordmark.
QImage appIconImage(int pixelSize);

// The content both forms paint: icon, wordmark, tagline, version, divider, slogan, chips and
// maker's line; the link and close buttons are real buttons laid over it.
class AboutContentView;

// The About window "About Vesk": 680 by 690, dark when the setting says "dark" in any case.
class VeskMenuAboutView : public QWidget {
    Q_OBJECT
public:
    explicit VeskMenuAboutView(QString appearanceRawValue, QWidget* parent = nullptr);

    static constexpr int contentWidth = 680;
    static constexpr int contentHeight = 690;

    bool isDark() const { return m_theme.isDark(); }
    QPushButton* closeButton() const { return m_close; }
    QPushButton* linkButton() const { return m_link; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Theme m_theme;
    QPushButton* m_close = nullptr;
    QPushButton* m_link = nullptr;
};

// The About card sheet: 500 by 560, following the current appearance.
class VeskAboutCard : public QDialog {
    Q_OBJECT
public:
    explicit VeskAboutCard(QWidget* parent = nullptr);

    static constexpr int contentWidth = 500;
    static constexpr int contentHeight = 560;

    QPushButton* closeButton() const { return m_close; }
    QPushButton* linkButton() const { return m_link; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* m_close = nullptr;
    QPushButton* m_link = nullptr;
};

// The one About window of the process: the first request opens it, every later one brings the
// same window forward. Its appearance is read from the setting when it opens.
class AboutWindowController : public QObject {
    Q_OBJECT
public:
    explicit AboutWindowController(std::function<QString()> appearanceRawValue, QObject* parent = nullptr);
    ~AboutWindowController() override;

    VeskMenuAboutView* open();
    VeskMenuAboutView* window() const { return m_window; }

private:
    std::function<QString()> m_appearance;
    QPointer<VeskMenuAboutView> m_window;
};

} // namespace vesk
