#pragma once

#include "platform/nn/GraphModel.h"

#include <QString>

namespace vesk {

// The three vision models and where they live. The models folder is $VESK_MODELS_DIR when set,
// else a "models" folder beside the executable, else the folder the build fetched them into.
// Each model is loaded once per process on first use and shared by all threads; a model that
// cannot be loaded is reported once in the log and its analyses give empty results.
class VisionModels {
public:
    static QString modelsDirectory();

    static const nn::GraphModel* faceDetector();   // blazeface: face boxes
    static const nn::GraphModel* faceDescriber();  // faceres: face descriptions
    static const nn::GraphModel* objectDetector(); // centernet: everyday objects
};

} // namespace vesk
