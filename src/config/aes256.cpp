#include "config/aes256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace {

// ECB without padding on one block at a time is the raw block cipher.
EVP_CIPHER_CTX* NewContext(const std::uint8_t* key, bool encrypt)
{
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (context == nullptr)
        throw std::runtime_error("AES: no cipher context");
    const int ok = encrypt ? EVP_EncryptInit_ex(context, EVP_aes_256_ecb(), nullptr, key, nullptr)
                           : EVP_DecryptInit_ex(context, EVP_aes_256_ecb(), nullptr, key, nullptr);
    if (ok != 1 || EVP_CIPHER_CTX_set_padding(context, 0) != 1) {
        EVP_CIPHER_CTX_free(context);
        throw std::runtime_error("AES: key set-up failed");
    }
    return context;
}

void RunBlock(EVP_CIPHER_CTX* context, bool encrypt, const std::uint8_t* in, std::uint8_t* out)
{
    int written = 0;
    const int ok = encrypt ? EVP_EncryptUpdate(context, out, &written, in, TAes256::BlockSize)
                           : EVP_DecryptUpdate(context, out, &written, in, TAes256::BlockSize);
    if (ok != 1 || written != static_cast<int>(TAes256::BlockSize))
        throw std::runtime_error("AES: block operation failed");
}

} // namespace

TAes256::TAes256(const std::uint8_t key[KeySize])
{
    FEncrypt = NewContext(key, true);
    try {
        FDecrypt = NewContext(key, false);
    } catch (...) {
        EVP_CIPHER_CTX_free(FEncrypt);
        throw;
    }
}

TAes256::~TAes256()
{
    // Freeing a context cleanses its key schedule.
    EVP_CIPHER_CTX_free(FEncrypt);
    EVP_CIPHER_CTX_free(FDecrypt);
}

void TAes256::EncryptBlock(const std::uint8_t in[BlockSize], std::uint8_t out[BlockSize])
{
    RunBlock(FEncrypt, true, in, out);
}

void TAes256::DecryptBlock(const std::uint8_t in[BlockSize], std::uint8_t out[BlockSize])
{
    RunBlock(FDecrypt, false, in, out);
}
