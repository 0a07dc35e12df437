#pragma once
// Sets the process's local time zone and default locale for the length of one test, then puts
// the previous ones back. Dates shown to the user and the calendar arithmetic follow both.

#include <QByteArray>
#include <QLocale>
#include <ctime>

namespace vesk::test {

class ScopedLocalTime {
public:
    // zone: a TZ value, a zone name ("Europe/Berlin") or a POSIX rule ("AAA-1BBB,M3.5.0/9,...").
    explicit ScopedLocalTime(const char* zone, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates))
        : m_hadZone(qEnvironmentVariableIsSet("TZ"))
        , m_zone(qgetenv("TZ"))
        , m_locale(QLocale())
    {
        qputenv("TZ", zone);
        tzset();
        QLocale::setDefault(locale);
    }
    ~ScopedLocalTime()
    {
        if (m_hadZone)
            qputenv("TZ", m_zone);
        else
            qunsetenv("TZ");
        tzset();
        QLocale::setDefault(m_locale);
    }
    ScopedLocalTime(const ScopedLocalTime&) = delete;
    ScopedLocalTime& operator=(const ScopedLocalTime&) = delete;

private:
    bool m_hadZone;
    QByteArray m_zone;
    QLocale m_locale;
};

} // namespace vesk::test
