#pragma once

#include "platform/Clock.h"
#include "platform/Settings.h"
#include "platform/Timers.h"
#include "model/ServiceInterfaces.h"
#include "model/VeskItem.h"

#include <QFuture>
#include <QImage>
#include <QList>
#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

namespace vesk {

// Everything the store is given from outside. main() passes makeRealServices();
// tests pass a fake clock, memory settings, a temporary data folder and fakes of their own.
struct VeskServices {
    std::shared_ptr<Clock> clock;
    // Delays of the store's own timed work (Bring Back); tests move a fake.
    std::shared_ptr<Timers> timers;
    std::shared_ptr<Settings> settings;
    // The library folder: the database, "Items", the legacy archive.
    QString dataDirectory;

    std::shared_ptr<ThumbnailProvider> thumbnails;
    std::shared_ptr<PreparedPreviewProvider> preparedPreviews;
    std::shared_ptr<RecoverySnapshotService> recoverySnapshots;
    std::shared_ptr<SecretStore> secrets;
    std::shared_ptr<EmbeddingEngine> embeddings;
    // None (the default) analyses nothing: no image is then marked as analysed, so a later start
    // with an analyser still finds every picture's faces.
    std::shared_ptr<ImageAnalyser> imageAnalyser;

    // Search waits for typing to pause; tests shorten these.
    int lexicalSearchDelayMs = 55;
    int deepSearchDelayMs = 240;
    // Pause between two items of the background face scan.
    int faceBackfillPauseMs = 40;
    // How often items that could not be written are tried again while any remain.
    int unsavedRetryIntervalMs = 30'000;
    // Whether the store watches the local Inbox and the synced phone inbox (tests of other areas
    // turn it off).
    bool watchInboxes = true;

    // Fills every missing service with its default (a missing data folder with the real one).
    VeskServices completed() const;
};

} // namespace vesk
