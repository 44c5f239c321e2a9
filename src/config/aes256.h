#pragma once
// The AES-256 block cipher on single 16-byte blocks; the chaining is done by the caller.

#include <cstddef>
#include <cstdint>

struct evp_cipher_ctx_st;

/// AES-256 (FIPS 197) under one key. Throws std::runtime_error when the cipher cannot be set up or
/// fails; the library cleanses its key schedules when the object is destroyed.
class TAes256 {
public:
    static constexpr std::size_t KeySize = 32;
    static constexpr std::size_t BlockSize = 16;

    explicit TAes256(const std::uint8_t key[KeySize]);
    ~TAes256();
    TAes256(const TAes256&) = delete;
    TAes256& operator=(const TAes256&) = delete;

    void EncryptBlock(const std::uint8_t in[BlockSize], std::uint8_t out[BlockSize]);
    void DecryptBlock(const std::uint8_t in[BlockSize], std::uint8_t out[BlockSize]);

private:
    evp_cipher_ctx_st* FEncrypt = nullptr;
    evp_cipher_ctx_st* FDecrypt = nullptr;
};
