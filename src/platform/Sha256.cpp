#include "platform/Sha256.h"

#include <QFile>

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vesk {

namespace {

constexpr size_t kReadChunk = 1 << 20;

struct DigestContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

DigestContext newSha256Context()
{
    DigestContext context(EVP_MD_CTX_new());
    if (context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        context.reset();
    return context;
}

std::optional<QByteArray> finish(EVP_MD_CTX* context)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest, &length) != 1)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd); // a failed close after reading changes nothing of the digest
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

QString hexDigestString(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex());
}

std::optional<QString> sha256HexOfFile(const QString& path)
{
    return sha256HexOfNativeFile(QFile::encodeName(path));
}

std::optional<QString> sha256HexOfNativeFile(const QByteArray& nativePath, const CancellationToken* cancel)
{
    // Plain POSIX reads: QFile adds its own buffering and copies, which shows on multi-gigabyte
    // files, and the digest wants nothing but the bytes in order.
    // Opening without blocking keeps a named pipe from stalling the caller; only regular files
    // have a digest.
    FileDescriptor file(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return std::nullopt;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    DigestContext context = newSha256Context();
    if (!context)
        return std::nullopt;

    std::vector<char> buffer(kReadChunk);
    for (;;) {
        if (cancel && cancel->isCancelled())
            return std::nullopt;
        const ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (count == 0)
            break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), size_t(count)) != 1)
            return std::nullopt;
    }
    const std::optional<QByteArray> digest = finish(context.get());
    if (!digest)
        return std::nullopt;
    return hexDigestString(*digest);
}

QString sha256Hex(const QByteArray& bytes)
{
    DigestContext context = newSha256Context();
    if (!context || EVP_DigestUpdate(context.get(), bytes.constData(), size_t(bytes.size())) != 1)
        return {};
    return hexDigestString(finish(context.get()).value_or(QByteArray()));
}

} // namespace vesk
