#include "store/RealServices.h"

#include "faces/VisionImageAnalyser.h"
#include "images/PreparedPreviewCache.h"
#include "images/ThumbnailCache.h"
#include "platform/AppPaths.h"
#include "platform/LibsecretSecretStore.h"
#include "platform/WorkPools.h"
#include "search/SemanticEmbeddingEngine.h"
#include "store/VeskRecoverySnapshots.h"

#include <QDir>

namespace vesk {

ImageCaches installImageCaches(VeskServices& services)
{
    if (services.dataDirectory.isEmpty())
        services.dataDirectory = AppPaths::dataDirectory();
    ImageCaches caches = ImageCaches::create(services.dataDirectory);
    services.thumbnails = caches.thumbnails;
    services.preparedPreviews = caches.previews;
    return caches;
}

VeskServices makeRealServices(const QString& dataDirectory)
{
    VeskServices services;
    services.dataDirectory = dataDirectory.isEmpty() ? AppPaths::dataDirectory()
                                                     : QDir(dataDirectory).absolutePath();
    installImageCaches(services);
    services.secrets = std::make_shared<LibsecretSecretStore>();
    // Reads its dictionary on its own thread when the first text arrives.
    services.embeddings = std::make_shared<SemanticEmbeddingEngine>();
    services.imageAnalyser = std::make_shared<VisionImageAnalyser>();
    services = services.completed();
    // The store's workers run lowered; the pools that the window waits on must not get their
    // threads from them.
    WorkPools::shared().keepForegroundThreadsAtCallersPriority();
    // Snapshots read the same clock, timers and user defaults as the store they protect.
    services.recoverySnapshots
        = std::make_shared<VeskRecoverySnapshots>(services.dataDirectory, services.clock, services.settings,
                                                  services.timers);
    return services;
}

} // namespace vesk
