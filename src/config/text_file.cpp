#include "config/text_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <stdexcept>

namespace {

// Code points of the bytes 0x80..0x9F; the five bytes Windows leaves undefined keep their own value.
constexpr char16_t CWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

/// The Windows-1252 byte of a character, or -1 when it has none.
int Windows1252Byte(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return ch;
    for (int i = 0; i < 32; ++i)
        if (CWindows1252High[i] == ch)
            return 0x80 + i;
    return -1;
}

/// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(const QByteArray& bytes, bool& hasNonAscii)
{
    hasNonAscii = false;
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        hasNonAscii = true;
        int len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            const uchar cc = uchar(bytes[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

QString DecodeWith(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    // The byte-order mark is already cut off: a second one right after it is text and must stay.
    QStringDecoder decoder(encoding,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace

QString DecodeWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char b : bytes) {
        const uchar c = uchar(b);
        *out++ = (c >= 0x80 && c < 0xA0) ? QChar(CWindows1252High[c - 0x80]) : QChar(c);
    }
    return text;
}

QByteArray EncodeWindows1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        const int b = Windows1252Byte(ch.unicode());
        bytes.append(b < 0 ? '?' : char(b));
    }
    return bytes;
}

bool FitsWindows1252(const QString& text)
{
    for (const QChar ch : text)
        if (Windows1252Byte(ch.unicode()) < 0)
            return false;
    return true;
}

QString DecodeText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return DecodeWith(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    if (bytes.startsWith("\xFF\xFE"))
        return DecodeWith(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return DecodeWith(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2));
    bool hasNonAscii = false;
    if (IsUtf8(bytes, hasNonAscii) && hasNonAscii)
        return QString::fromUtf8(bytes);
    return DecodeWindows1252(bytes);
}

QByteArray EncodeText(const QString& text)
{
    // Windows-1252 only when reading gives the same text back: the bytes of a text such as "ÿþ[…" begin
    // like a byte-order mark, those of "Ã¤" form valid UTF-8, and either would be read otherwise.
    if (FitsWindows1252(text)) {
        QByteArray bytes = EncodeWindows1252(text);
        if (DecodeText(bytes) == text)
            return bytes;
    }
    QByteArray bytes("\xFF\xFE", 2);
    bytes.reserve(2 + 2 * text.size());
    for (const QChar ch : text) {
        bytes.append(char(ch.unicode() & 0xFF));
        bytes.append(char(ch.unicode() >> 8));
    }
    return bytes;
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text[i];
        if (ch != u'\r' && ch != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (ch == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QStringList ReadTextLines(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return SplitLines(DecodeText(file.readAll()));
}

void WriteTextLines(const QString& fileName, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    if (!WriteFileAtomically(fileName, EncodeText(text)))
        throw std::runtime_error(
            QStringLiteral("In %1 kann nicht geschrieben werden").arg(fileName).toStdString());
}

bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes)
{
    // QSaveFile writes a temporary file next to the target, syncs it and renames it over the
    // target, carrying over the permissions of the file it replaces. Unbuffered, so that a short
    // write (disk full, size limit) shows in the count here: commit() ignores a failing flush and
    // would put a truncated file in place.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
