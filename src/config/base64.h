#pragma once
// Base64 text of the stored passwords (alphabet "A"-"Z", "a"-"z", "0"-"9", "+", "/", "=" padding).

#include "config/secret_bytes.h"

#include <QString>
#include <QStringView>

/// Base64 text of the bytes, padded with "=", without line breaks.
QString Base64Encode(const std::uint8_t* data, std::size_t size);

/// Lenient decoding: characters outside the alphabet (other than "=") are skipped; the first "="
/// ends the input. A final group of two symbols gives one byte, of three two bytes, of one nothing.
TSecretBytes Base64Decode(QStringView text);
