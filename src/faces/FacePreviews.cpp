#include "faces/FacePreviews.h"

#include "faces/FaceGeometry.h"
#include "platform/image/ImageLoader.h"

namespace vesk {

QHash<QUuid, QImage> cutFacePreviews(const QImage& image, const QList<FacePreviewRequest>& faces)
{
    QHash<QUuid, QImage> previews;
    if (image.isNull())
        return previews;
    for (const FacePreviewRequest& face : faces) {
        const std::optional<QRect> rect = paddedFaceRect(face.box, image.size());
        if (!rect)
            continue;
        QImage crop = image.copy(*rect);
        if (crop.isNull())
            continue;
        if (std::max(crop.width(), crop.height()) > kFacePreviewMaxPixels)
            crop = downscaledImage(crop, kFacePreviewMaxPixels);
        previews.insert(face.faceID, crop);
    }
    return previews;
}

FacePreviewCut cutFacePreviews(const QString& path, const QList<FacePreviewRequest>& faces)
{
    if (faces.isEmpty())
        return {};
    const QImage image = ImageLoader::load(path);
    return {!image.isNull(), cutFacePreviews(image, faces)};
}

} // namespace vesk
