#pragma once

#include "model/VeskItem.h"
#include "platform/Expected.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace vesk {

class Clock;
class ItemAccess;
class ThumbnailProvider;

// New items made from others: edited pictures and kept moments of a video. Each gets a managed
// file in its own folder under "Items" and points back at the first item of its source's chain.
class EditedVersions {
public:
    EditedVersions(QString managedItemsDirectory, std::shared_ptr<Clock> clock,
                   std::shared_ptr<ThumbnailProvider> thumbnails, ItemAccess& items);

    // Keeps an edited picture as a new image item and says "Edited version saved" once its row is
    // in the library file. The item also when its row was refused: it stays on screen with its
    // file, said as not saved, and is written at a retry. None (logged) when the item is not a
    // picture, or the library or the disk refused it (said in the failure notice with why); then
    // no item and no folder are left behind.
    // The file is written and flushed on the calling thread.
    std::optional<VeskItem> saveEditedImage(const QByteArray& data, const VeskItem& item, const QString& extension);
    // The same, with the file written and flushed on the file pool: done hears the outcome on
    // receiver's thread (the main thread), from the event loop, and never once receiver is gone.
    void saveEditedImageLater(const QByteArray& data, const VeskItem& item, const QString& extension,
                              QObject* receiver, std::function<void(const std::optional<VeskItem>&)> done);
    // Keeps an exported clip of the item's video as a new file item, selects it and says "Video
    // moment saved". When the clip could not be kept or its row was not written (logged, and said
    // in the failure notice), why, in plain words ("the disk is full"); empty for what was no
    // moment of a video. The caller removes its temporary clip either way.
    Expected<VeskItem, QString> saveVideoMoment(const QString& clipPath, const VeskItem& previewed, double centreSeconds);
    // The time text of a moment: "m:ss" below an hour, "h:mm:ss" from then on.
    static QString videoMomentTimeText(double seconds);

private:
    struct EditedImagePlan;
    struct EditedImageWriteFailure;
    // Names the version and asks the library; none (said) when it cannot be kept.
    std::optional<EditedImagePlan> planEditedImage(const VeskItem& item, const QString& extension);
    // Any thread: the folder and the file, flushed; a failure leaves no folder behind.
    static std::optional<EditedImageWriteFailure> writeEditedFile(const QString& itemsDirectory, const QString& folder,
                                                                  const QString& filePath, const QByteArray& data);
    std::optional<VeskItem> finishEditedImage(const EditedImagePlan& plan,
                                              const std::optional<EditedImageWriteFailure>& failure);
    void reportNotKept(const VeskItem& item, const QString& reason);

    QString m_itemsDirectory;
    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<ThumbnailProvider> m_thumbnails;
    ItemAccess& m_items;
};

} // namespace vesk
