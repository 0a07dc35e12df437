#pragma once
// A failed file operation as a value: the system's error number and what was being done, carried
// from where it happened to where it is told, and worded there once. Turning it into text early
// and reading the text back would lose which way the bytes were going: a write that is refused
// is no file Vesk may not read.

#include <QString>

namespace vesk {

enum class IoOperation {
    // Reading what the user handed over (a file, a folder, a clip, a package).
    Read,
    // Writing into the library folder (a managed copy, an edited version).
    Write,
};

struct IoFailure {
    // The system's error number; 0 for a failure the system did not give (then text says it).
    int code = 0;
    IoOperation operation = IoOperation::Read;
    // The file it happened at, when it is not the one the caller asked about (a file inside a
    // copied folder); empty otherwise.
    QString path;
    // Our own words for a failure that has no error number ("not a regular file"), or beside one
    // (what did not fit, for a full disk).
    QString text;

    static IoFailure reading(int code, QString path = {});
    static IoFailure writing(int code, QString path = {});
    // A failure of our own, told as it stands.
    static IoFailure other(QString text, IoOperation operation = IoOperation::Read);

    // The same failure, met at path.
    IoFailure at(const QString& path) const;

    // For the log: the path (if any), then the system's own words ("No space left on device")
    // or our own.
    QString logText() const;
    // For the user, in the words the failure notices use: "the disk is full", "the disk is
    // read-only", "Vesk is not allowed to read it" for a source Vesk may not read, "the library
    // folder is read-only" for a write the library folder refused; else as logText says it.
    QString plainWords() const;

    friend bool operator==(const IoFailure&, const IoFailure&) = default;
};

} // namespace vesk
