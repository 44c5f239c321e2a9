#include "config/password.h"

#include "config/aes256.h"
#include "config/base64.h"
#include "config/credentials.h"
#include "config/password_internal.h"
#include "config/secret_bytes.h"
#include "config/whirlpool0.h"

#include <atomic>
#include <cstring>

namespace {

constexpr std::size_t kBlock = TAes256::BlockSize;
constexpr std::size_t kCheckSize = 16;
constexpr std::uint32_t kKeyIndex = 1;

// Seeds only have to differ between encryptions of one run; they are stored with the value.
std::atomic<std::uint32_t> SeedState{0x3A9C5E71u};

QString Unreadable()
{
    return QStringLiteral("???");
}

void DrawSeed(std::uint8_t* seed)
{
    std::uint32_t state = SeedState.load();
    std::uint32_t next = 0;
    do {
        next = state;
        for (std::size_t i = 0; i < PasswordSeedSize; ++i) {
            next = next * 134775813u + 1u;
            seed[i] = static_cast<std::uint8_t>(next >> 24);
        }
    } while (!SeedState.compare_exchange_weak(state, next));
}

TSecretBytes Utf16LeBytes(const QString& text)
{
    TSecretBytes bytes(static_cast<std::size_t>(text.size()) * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        bytes[2 * i] = static_cast<std::uint8_t>(unit);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    return bytes;
}

TSecretBytes PassPhraseBytes(const QString& passPhrase)
{
    return Utf16LeBytes(passPhrase.isEmpty() ? BuiltInPassPhrase() : passPhrase);
}

// The key for a pass phrase (empty: the built-in one) and a seed.
TSecretBytes KeyFor(const QString& passPhrase, const std::uint8_t* seed)
{
    const TSecretBytes phrase = PassPhraseBytes(passPhrase);
    TSecretBytes key(PasswordKeySize);
    DeriveKey(std::span<const std::uint8_t>(phrase.Data(), phrase.Size()),
              std::span<const std::uint8_t, PasswordSeedSize>(seed, PasswordSeedSize),
              std::span<std::uint8_t, PasswordKeySize>(key.Data(), PasswordKeySize));
    return key;
}

void HashBigEndian32(TWhirlpool0& hash, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    hash.Update(bytes, sizeof bytes);
}

// AES-256 with CBC on whole blocks and CFB-8 on the rest; the register F ends the same way for
// encryption and decryption of one cipher text, so its encryption serves as the check value.
// The final register holds only the last 16 cipher bytes, so the check value does not notice a change
// to cipher bytes before them (passwords longer than 8 code units); the stored format fixes this.
class TChainCipher {
public:
    explicit TChainCipher(const std::uint8_t* key) : FAes(key)
    {
        std::uint8_t ones[kBlock];
        std::memset(ones, 0xFF, sizeof ones);
        FAes.EncryptBlock(ones, FRegister);
    }
    ~TChainCipher()
    {
        BurnBytes(FRegister, sizeof FRegister);
        BurnBytes(FWork, sizeof FWork);
    }
    TChainCipher(const TChainCipher&) = delete;
    TChainCipher& operator=(const TChainCipher&) = delete;

    void Encrypt(const std::uint8_t* plain, std::uint8_t* cipher, std::size_t size)
    {
        const std::size_t whole = size - size % kBlock;
        for (std::size_t j = 0; j < whole; j += kBlock) {
            for (std::size_t k = 0; k < kBlock; ++k)
                FWork[k] = plain[j + k] ^ FRegister[k];
            FAes.EncryptBlock(FWork, FRegister);
            std::memcpy(cipher + j, FRegister, kBlock);
        }
        for (std::size_t j = whole; j < size; ++j) {
            FAes.EncryptBlock(FRegister, FWork);
            cipher[j] = plain[j] ^ FWork[0];
            ShiftIn(cipher[j]);
        }
    }

    void Decrypt(const std::uint8_t* cipher, std::uint8_t* plain, std::size_t size)
    {
        const std::size_t whole = size - size % kBlock;
        for (std::size_t j = 0; j < whole; j += kBlock) {
            FAes.DecryptBlock(cipher + j, FWork);
            for (std::size_t k = 0; k < kBlock; ++k)
                plain[j + k] = FWork[k] ^ FRegister[k];
            std::memcpy(FRegister, cipher + j, kBlock);
        }
        for (std::size_t j = whole; j < size; ++j) {
            FAes.EncryptBlock(FRegister, FWork);
            plain[j] = cipher[j] ^ FWork[0];
            ShiftIn(cipher[j]);
        }
    }

    void CheckValue(std::uint8_t* check) { FAes.EncryptBlock(FRegister, check); }

private:
    void ShiftIn(std::uint8_t cipherByte)
    {
        std::memmove(FRegister, FRegister + 1, kBlock - 1);
        FRegister[kBlock - 1] = cipherByte;
    }

    TAes256 FAes;
    std::uint8_t FRegister[kBlock];
    std::uint8_t FWork[kBlock] = {};
};

QString Encrypt(const QString& text, const QString& passPhrase, const std::uint8_t* seed)
{
    const TSecretBytes key = KeyFor(passPhrase, seed);
    TChainCipher cipher(key.Data());

    const TSecretBytes plain = Utf16LeBytes(text);
    TSecretBytes stored(PasswordSeedSize + plain.Size() + kCheckSize);
    std::memcpy(stored.Data(), seed, PasswordSeedSize);
    cipher.Encrypt(plain.Data(), stored.Data() + PasswordSeedSize, plain.Size());
    cipher.CheckValue(stored.Data() + PasswordSeedSize + plain.Size());
    return Base64Encode(stored.Data(), stored.Size());
}

QString Decrypt(const QString& text, const QString& passPhrase)
{
    const TSecretBytes stored = Base64Decode(text);
    if (stored.Size() < PasswordSeedSize + kCheckSize)
        return Unreadable();
    const std::size_t cipherSize = stored.Size() - PasswordSeedSize - kCheckSize;
    const std::uint8_t* seed = stored.Data();
    const std::uint8_t* cipherText = seed + PasswordSeedSize;
    const std::uint8_t* storedCheck = cipherText + cipherSize;

    const TSecretBytes key = KeyFor(passPhrase, seed);
    TChainCipher cipher(key.Data());

    TSecretBytes plain(cipherSize);
    cipher.Decrypt(cipherText, plain.Data(), cipherSize);
    TSecretBytes check(kCheckSize);
    cipher.CheckValue(check.Data());

    // Compare every byte, so the time taken does not tell where the first difference lies.
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < kCheckSize; ++i)
        difference |= check[i] ^ storedCheck[i];
    if (difference != 0)
        return Unreadable();

    // An odd byte count leaves one byte that is not part of a code unit.
    QString result(static_cast<qsizetype>(cipherSize / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i < cipherSize / 2; ++i)
        result[static_cast<qsizetype>(i)] =
            QChar(static_cast<char16_t>(plain[2 * i] | (plain[2 * i + 1] << 8)));
    return result;
}

} // namespace

void DeriveKey(std::span<const std::uint8_t> passPhraseBytes,
               std::span<const std::uint8_t, PasswordSeedSize> seed,
               std::span<std::uint8_t, PasswordKeySize> key)
{
    TWhirlpool0 hash;
    std::uint8_t digest[TWhirlpool0::DigestSize];
    for (std::uint32_t i = 0; i < PasswordKeySize; ++i) {
        hash.Init();
        HashBigEndian32(hash, i);
        hash.Update(key.data(), i);
        HashBigEndian32(hash, kKeyIndex);
        HashBigEndian32(hash, static_cast<std::uint32_t>(seed.size()));
        hash.Update(seed.data(), seed.size());
        HashBigEndian32(hash, static_cast<std::uint32_t>(passPhraseBytes.size()));
        hash.Update(passPhraseBytes.data(), passPhraseBytes.size());
        hash.Final(digest);
        std::uint8_t folded = 0;
        for (std::uint8_t byte : digest)
            folded ^= byte;
        key[i] = folded;
    }
    BurnBytes(digest, sizeof digest);
}

QString EncryptPasswordWithSeed(const QString& text, const QString& passPhrase,
                                std::span<const std::uint8_t, PasswordSeedSize> seed)
{
    try {
        return Encrypt(text, passPhrase, seed.data());
    } catch (...) {
        return Unreadable();
    }
}

QString EncryptPassword(const QString& text, const QString& passPhrase)
{
    try {
        TSecretBytes seed(PasswordSeedSize);
        DrawSeed(seed.Data());
        return Encrypt(text, passPhrase, seed.Data());
    } catch (...) {
        return Unreadable();
    }
}

QString DecryptPassword(const QString& text, const QString& passPhrase)
{
    try {
        return Decrypt(text, passPhrase);
    } catch (...) {
        return Unreadable();
    }
}
