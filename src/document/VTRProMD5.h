#pragma once

#include <cstddef>

#include <QString>

typedef struct evp_md_ctx_st EVP_MD_CTX;

// MD5 digests of files, written as 32 lowercase hexadecimal digits.
class CVTRProMD5
{
public:
    // Digest of a file read in 4096-byte blocks: 1 and the digest in out on
    // success, 0 (out untouched) when the file cannot be read or hashed.
    static int CalculateMD5(const QString& path, QString& out);
    // A new[]-allocated narrow (UTF-8) copy released by the caller with
    // delete[]; null for an empty string.
    static char* ConvertCStringToChar(const QString& text);
};

// An MD5 digest fed piece by piece, so text can be hashed as it is produced.
class Md5Stream
{
public:
    Md5Stream();
    ~Md5Stream();
    Md5Stream(const Md5Stream&) = delete;
    Md5Stream& operator=(const Md5Stream&) = delete;

    // Whether the digest could be set up and every piece was accepted.
    bool IsValid() const { return m_ok; }
    // Feeds bytes.
    void Add(const void* data, size_t size);
    // Feeds the UTF-16LE code units of a string (no terminator).
    void AddUtf16(const QString& text);
    void AddUtf16(const char16_t* text, size_t size);
    // Ends the digest: 32 lowercase hex digits, or empty on failure.
    QString Finish();

private:
    EVP_MD_CTX* m_ctx = nullptr;
    bool m_ok = false;
};
