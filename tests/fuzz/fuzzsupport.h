#pragma once

// What the fuzz targets share: the bytes as a text, a scratch file of this process, and a check
// that stops the run (a fuzzer reports an abort as a crash, with the input that caused it).
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#define FUZZ_CHECK(condition, ...)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "fuzz check failed: %s\n", #condition);                                               \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fprintf(stderr, "\n");                                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

inline QString textOf(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A file of this process under the temporary folder, named by what it holds (kept between inputs).
inline QString scratchFile(const QString &name)
{
    return QDir::temp().filePath(QStringLiteral("kavro-fuzz-%1-%2").arg(::getpid()).arg(name));
}

// The bytes as the scratch file of that name, for the readers that take a file.
inline QString writtenScratch(const QString &name, const uint8_t *data, size_t size)
{
    const QString path = scratchFile(name);
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the scratch file");
    FUZZ_CHECK(f.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size), "a short write");
    return path;
}
