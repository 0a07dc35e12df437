#pragma once

#include "images/ImageCaches.h"
#include "store/VeskServices.h"

#include <QString>

namespace vesk {

// The services the application runs with, for a library folder (the default one when empty):
// the real clock and settings, the picture caches in that folder, the system keyring, and every
// real engine. main(), tools and benchmarks start a store through this, so they behave exactly as
// the window does.
VeskServices makeRealServices(const QString& dataDirectory = QString());

// Creates the picture caches in services.dataDirectory and hands them to the services, so that
// the store's launch prewarm, imports and removals reach them.
ImageCaches installImageCaches(VeskServices& services);

} // namespace vesk
