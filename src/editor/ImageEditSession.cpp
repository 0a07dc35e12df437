#include "editor/ImageEditSession.h"

#include "platform/FutureDelivery.h"
#include "platform/image/ImageLoader.h"

#include <QPointer>

namespace vesk {

ImageEditSession::ImageEditSession(QString sourcePath, QObject* parent)
    : QObject(parent), m_sourcePath(std::move(sourcePath)), m_worker(QThread::LowPriority)
{
    m_encodeTimer.setSingleShot(true);
    m_encodeTimer.setInterval(kDefaultEncodeDelayMs);
    connect(&m_encodeTimer, &QTimer::timeout, this, [this] { startEncode(true); });
}

ImageEditSession::~ImageEditSession()
{
    m_encodeTimer.stop();
    m_worker.waitForDone();
}

void ImageEditSession::start()
{
    m_loadState = LoadState::Loading;
    const QString path = m_sourcePath;
    const QFuture<Decoded> decoding = m_worker.run([path] {
        Decoded decoded;
        decoded.full = path.isEmpty() ? QImage() : ImageLoader::load(path);
        if (!decoded.full.isNull())
            decoded.display = downscaledImage(decoded.full, kDisplayMaxDimension);
        return decoded;
    });
    deliverResult(this, decoding, [this](const Decoded& decoded) {
        if (decoded.full.isNull() || decoded.display.isNull()) {
            m_loadState = LoadState::Failed;
            emit loadFailed();
            return;
        }
        m_fullSource = decoded.full;
        m_displaySource = decoded.display;
        m_fullSize = decoded.full.size();
        m_loadState = LoadState::Ready;
        emit loaded();
        m_encodePending = true;
        m_encodeTimer.start();
    });
}

void ImageEditSession::setSettings(const EditSettings& settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    ++m_generation;
    m_latestGeneration->store(m_generation);
    m_encode.reset();
    m_encodeFailed = false;
    if (m_loadState == LoadState::Ready) {
        m_encodePending = true;
        m_encodeTimer.start();
    }
}

QImage ImageEditSession::canvasImage() const
{
    return renderUncroppedImage(m_displaySource, m_settings);
}

QImage ImageEditSession::adjustedDisplayImage() const
{
    return renderAdjustedImage(m_displaySource, m_settings);
}

QFuture<std::optional<EncodedImage>> ImageEditSession::encodeNow()
{
    if (m_loadState != LoadState::Ready)
        return QtFuture::makeReadyFuture(std::optional<EncodedImage>());
    if (m_encode || m_encodeFailed)
        return QtFuture::makeReadyFuture(m_encode);
    if (!m_runningEncode || m_runningGeneration != m_generation)
        startEncode(false);
    return *m_runningEncode;
}

void ImageEditSession::startEncode(bool skippable)
{
    m_encodeTimer.stop();
    if (m_loadState != LoadState::Ready)
        return;
    if (m_runningEncode && m_runningGeneration == m_generation)
        return;
    const QImage source = m_fullSource;
    const EditSettings settings = m_settings;
    const QString path = m_sourcePath;
    const quint64 generation = m_generation;
    m_runningGeneration = generation;
    m_runningEncode = m_worker.run([source, settings, path, generation, skippable,
                                    latest = m_latestGeneration]() -> std::optional<EncodedImage> {
        if (skippable && latest->load() != generation)
            return std::nullopt;
        return encodeEditedImage(renderEditedImage(source, settings), path);
    });
    deliverResult(this, *m_runningEncode, [this, generation](const std::optional<EncodedImage>& result) {
        if (generation != m_generation)
            return;
        m_encode = result;
        m_encodeFailed = !result.has_value();
        m_encodePending = false;
        emit encodeFinished();
    });
}

} // namespace vesk
