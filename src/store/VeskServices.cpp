#include "store/VeskServices.h"

#include "platform/AppPaths.h"

#include <QDir>

namespace vesk {

VeskServices VeskServices::completed() const
{
    VeskServices services = *this;
    if (!services.clock)
        services.clock = std::make_shared<SystemClock>();
    if (!services.timers)
        services.timers = SystemTimers::shared();
    if (!services.settings)
        services.settings = std::make_shared<IniSettings>();
    if (services.dataDirectory.isEmpty())
        services.dataDirectory = AppPaths::dataDirectory();
    // Managed copies are stored by absolute path; a relative folder would tie them to wherever
    // Vesk was started from.
    services.dataDirectory = QDir::cleanPath(QDir(services.dataDirectory).absolutePath());
    if (!services.thumbnails)
        services.thumbnails = std::make_shared<NullThumbnailProvider>();
    if (!services.preparedPreviews)
        services.preparedPreviews = std::make_shared<NullPreparedPreviewProvider>();
    if (!services.recoverySnapshots)
        services.recoverySnapshots = std::make_shared<NullRecoverySnapshotService>();
    if (!services.secrets)
        services.secrets = std::make_shared<NullSecretStore>();
    if (!services.embeddings)
        services.embeddings = std::make_shared<NullEmbeddingEngine>();
    return services;
}

} // namespace vesk
