#pragma once

#include <QString>

namespace vesk {

// Where Vesk keeps its files. Every folder is derived from the data folder so that a test (or a
// second library) only has to point VESK_DATA_DIR elsewhere.
class AppPaths {
public:
    // $VESK_DATA_DIR when set and not empty (made absolute), else the XDG data home + "/Vesk".
    static QString dataDirectory();
    // $VESK_CONFIG_DIR when set and not empty, else the XDG config home.
    static QString configDirectory();
    // $VESK_CLOUD_DIR when set and not empty, else ~/VeskCloud.
    static QString cloudDirectory();

    // Creates the folder (and its parents) when missing; returns false when it cannot.
    static bool ensureDirectory(const QString& path);
};

} // namespace vesk
