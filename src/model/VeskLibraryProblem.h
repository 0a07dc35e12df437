#pragma once

#include <QString>
#include <optional>

namespace vesk {

// Why the library cannot be used as it stands. While there is one, the window shows it instead
// of the library and nothing new is written into the library file.
struct VeskLibraryProblem {
    enum class Kind {
        // The database could not be opened, or its items could not be read.
        Unreadable,
        // The folder has held items before, but its database is gone or empty: a lost library,
        // which is never silently replaced by a new one.
        Lost,
        // The library was read, but SQLite's check of the file's structure found damage in it:
        // writing on could bury what is left, so nothing more is written.
        Damaged,
    };

    Kind kind = Kind::Unreadable;
    // The library file concerned.
    QString databasePath;
    // Why, in plain words.
    QString reason;
    // The newest recovery snapshot's folder, when there is one.
    std::optional<QString> newestSnapshot;

    friend bool operator==(const VeskLibraryProblem&, const VeskLibraryProblem&) = default;
};

} // namespace vesk
