#pragma once
// Small helpers shared by the fuzz targets: splitting an input into parts, turning bytes into text,
// a scratch file per process and a check that stops the run with a message.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

/// Stops the run (libFuzzer reports it as a crash and saves the input) when `cond` is false.
#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

/// The input cut at `separator` into at most `count` parts; the last part keeps the rest, missing
/// parts are empty.
QList<QByteArray> SplitInput(const std::uint8_t* data, std::size_t size, char separator, int count);

/// Text from fuzz bytes: a first byte 0x01 reads the rest as raw UTF-16 LE code units (so lone
/// surrogates and every code point are reachable), anything else is read as UTF-8.
QString FuzzText(const QByteArray& bytes);

/// A file name of this process for scratch files, on a memory file system where there is one (the
/// targets write a file per input). Removed when the process ends.
QString ScratchFile(const char* suffix);

/// Writes the bytes to the file, replacing it.
void WriteScratch(const QString& fileName, const QByteArray& bytes);
