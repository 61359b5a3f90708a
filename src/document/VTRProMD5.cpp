#include "document/VTRProMD5.h"

#include "VtrRegularFile.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include <openssl/evp.h>

#include <QByteArray>
#include <QFile>
#include <QtEndian>

namespace {
QString ToHex(const unsigned char* digest, unsigned int size)
{
    static const char kHex[] = "0123456789abcdef";
    QString out;
    out.reserve(static_cast<qsizetype>(size) * 2);
    for (unsigned int i = 0; i < size; ++i) {
        out.append(QLatin1Char(kHex[digest[i] >> 4]));
        out.append(QLatin1Char(kHex[digest[i] & 0x0f]));
    }
    return out;
}
} // namespace

Md5Stream::Md5Stream()
    : m_ctx(EVP_MD_CTX_new())
{
    m_ok = m_ctx && EVP_DigestInit_ex(m_ctx, EVP_md5(), nullptr) == 1;
}

Md5Stream::~Md5Stream()
{
    EVP_MD_CTX_free(m_ctx);
}

void Md5Stream::Add(const void* data, size_t size)
{
    if (m_ok && size > 0 && EVP_DigestUpdate(m_ctx, data, size) != 1)
        m_ok = false;
}

void Md5Stream::AddUtf16(const QString& text)
{
    AddUtf16(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

void Md5Stream::AddUtf16(const char16_t* text, size_t size)
{
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        Add(text, size * sizeof(char16_t));
    } else {
        // Big-endian hosts swap into a small buffer so the bytes stay UTF-16LE.
        char16_t buffer[2048];
        const char16_t* src = text;
        size_t left = size;
        while (left > 0) {
            const size_t n = qMin<size_t>(left, 2048);
            for (size_t i = 0; i < n; ++i)
                buffer[i] = qToLittleEndian(src[i]);
            Add(buffer, static_cast<size_t>(n) * sizeof(char16_t));
            src += n;
            left -= n;
        }
    }
}

QString Md5Stream::Finish()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!m_ok || EVP_DigestFinal_ex(m_ctx, digest, &size) != 1) {
        m_ok = false;
        return {};
    }
    m_ok = false; // a finished digest takes no more input
    return ToHex(digest, size);
}

int CVTRProMD5::CalculateMD5(const QString& path, QString& out)
{
    Md5Stream md5;
    if (!md5.IsValid())
        return 0;
    // A FIFO or device would block the read or never end.
    const int fd = VtrOpenRegularFileForReading(QFile::encodeName(path).constData());
    if (fd < 0)
        return 0;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return 0;
    }
    char block[4096];
    for (;;) {
        const qint64 n = file.read(block, sizeof(block));
        if (n < 0)
            return 0;
        if (n == 0)
            break;
        md5.Add(block, static_cast<size_t>(n));
    }
    const QString digest = md5.Finish();
    if (digest.isEmpty())
        return 0;
    out = digest;
    return 1;
}

char* CVTRProMD5::ConvertCStringToChar(const QString& text)
{
    if (text.isEmpty())
        return nullptr;
    const QByteArray narrow = text.toUtf8();
    char* copy = new char[static_cast<size_t>(narrow.size()) + 1];
    std::memcpy(copy, narrow.constData(), static_cast<size_t>(narrow.size()) + 1);
    return copy;
}
