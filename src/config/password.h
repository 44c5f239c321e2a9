#pragma once
// Stored passwords: seed, AES-256 cipher text and check value as Base64 text.

#include <QString>

/// The stored value of `text`; an empty pass phrase selects the built-in one. Never raises: should the
/// cipher fail to set up, the result is "???", which reads back as an unreadable value.
QString EncryptPassword(const QString& text, const QString& passPhrase);
/// The password of a stored value, or "???" when it cannot be read. Never raises.
QString DecryptPassword(const QString& text, const QString& passPhrase);
