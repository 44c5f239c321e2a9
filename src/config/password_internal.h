#pragma once
// The steps of the stored-password format, for the known-answer tests. Callers outside the tests use
// password.h.

#include <QString>

#include <cstdint>
#include <span>

inline constexpr std::size_t PasswordSeedSize = 16;
inline constexpr std::size_t PasswordKeySize = 32;

/// The 32-byte AES key from the pass phrase bytes (UTF-16 LE) and the seed.
void DeriveKey(std::span<const std::uint8_t> passPhraseBytes,
               std::span<const std::uint8_t, PasswordSeedSize> seed,
               std::span<std::uint8_t, PasswordKeySize> key);

/// EncryptPassword with a given seed instead of one from the run's seed generator.
QString EncryptPasswordWithSeed(const QString& text, const QString& passPhrase,
                                std::span<const std::uint8_t, PasswordSeedSize> seed);
