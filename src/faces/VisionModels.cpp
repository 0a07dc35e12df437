#include "faces/VisionModels.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vesk {

namespace {

const nn::GraphModel* loadOnce(const char* name)
{
    const QString path = VisionModels::modelsDirectory() + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".json");
    auto model = nn::GraphModel::load(path);
    if (!model) {
        veskLog(QStringLiteral("Vesk vision model unavailable: ") + model.error().message);
        return nullptr;
    }
    return new nn::GraphModel(std::move(*model)); // lives as long as the process
}

} // namespace

QString VisionModels::modelsDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("VESK_MODELS_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (QCoreApplication::instance()) {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/models");
        if (QFileInfo::exists(beside + QStringLiteral("/blazeface.json")))
            return beside;
    }
#ifdef VESK_DEFAULT_MODELS_DIR
    return QStringLiteral(VESK_DEFAULT_MODELS_DIR);
#else
    return QStringLiteral("models");
#endif
}

const nn::GraphModel* VisionModels::faceDetector()
{
    static const nn::GraphModel* model = loadOnce("blazeface");
    return model;
}

const nn::GraphModel* VisionModels::faceDescriber()
{
    static const nn::GraphModel* model = loadOnce("faceres");
    return model;
}

const nn::GraphModel* VisionModels::objectDetector()
{
    static const nn::GraphModel* model = loadOnce("centernet");
    return model;
}

} // namespace vesk
