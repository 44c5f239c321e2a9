#pragma once
// Text files the way the product's installations exchange them.

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Decodes file bytes: a byte-order mark selects UTF-8 or UTF-16 LE/BE; without one, valid UTF-8
/// holding non-ASCII bytes is read as UTF-8, anything else as Windows-1252.
QString DecodeText(const QByteArray& bytes);
/// Encodes as Windows-1252 when every character fits, otherwise as UTF-16 LE with byte-order mark.
QByteArray EncodeText(const QString& text);
/// True when every character of the text has a Windows-1252 byte.
bool FitsWindows1252(const QString& text);
/// Windows-1252 bytes of the text; a character without a byte becomes "?".
QByteArray EncodeWindows1252(const QString& text);
QString DecodeWindows1252(const QByteArray& bytes);

/// Splits at CR LF, LF or CR; a line end at the very end does not open another line.
QStringList SplitLines(const QString& text);

/// Lines of a text file (CR LF, LF or CR; the last line needs no line end). Empty list when the
/// file is missing or unreadable.
QStringList ReadTextLines(const QString& fileName);
/// Writes the lines, each followed by CR LF, atomically (temporary file, then rename), replacing an
/// existing file. Raises std::runtime_error with a message naming the file when it cannot write.
void WriteTextLines(const QString& fileName, const QStringList& lines);

/// Replaces `fileName` with `bytes` atomically: temporary file in the same folder, flush, rename.
/// Keeps the permissions of an existing file. Returns false (old file intact) on any failure.
bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes);
