#include "config/whirlpool0.h"

#include "config/secret_bytes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kRounds = 10;

constexpr std::uint8_t kSBox[256] = {
    0x68, 0xD0, 0xEB, 0x2B, 0x48, 0x9D, 0x6A, 0xE4, 0xE3, 0xA3, 0x56, 0x81, 0x7D, 0xF1, 0x85, 0x9E,
    0x2C, 0x8E, 0x78, 0xCA, 0x17, 0xA9, 0x61, 0xD5, 0x5D, 0x0B, 0x8C, 0x3C, 0x77, 0x51, 0x22, 0x42,
    0x3F, 0x54, 0x41, 0x80, 0xCC, 0x86, 0xB3, 0x18, 0x2E, 0x57, 0x06, 0x62, 0xF4, 0x36, 0xD1, 0x6B,
    0x1B, 0x65, 0x75, 0x10, 0xDA, 0x49, 0x26, 0xF9, 0xCB, 0x66, 0xE7, 0xBA, 0xAE, 0x50, 0x52, 0xAB,
    0x05, 0xF0, 0x0D, 0x73, 0x3B, 0x04, 0x20, 0xFE, 0xDD, 0xF5, 0xB4, 0x5F, 0x0A, 0xB5, 0xC0, 0xA0,
    0x71, 0xA5, 0x2D, 0x60, 0x72, 0x93, 0x39, 0x08, 0x83, 0x21, 0x5C, 0x87, 0xB1, 0xE0, 0x00, 0xC3,
    0x12, 0x91, 0x8A, 0x02, 0x1C, 0xE6, 0x45, 0xC2, 0xC4, 0xFD, 0xBF, 0x44, 0xA1, 0x4C, 0x33, 0xC5,
    0x84, 0x23, 0x7C, 0xB0, 0x25, 0x15, 0x35, 0x69, 0xFF, 0x94, 0x4D, 0x70, 0xA2, 0xAF, 0xCD, 0xD6,
    0x6C, 0xB7, 0xF8, 0x09, 0xF3, 0x67, 0xA4, 0xEA, 0xEC, 0xB6, 0xD4, 0xD2, 0x14, 0x1E, 0xE1, 0x24,
    0x38, 0xC6, 0xDB, 0x4B, 0x7A, 0x3A, 0xDE, 0x5E, 0xDF, 0x95, 0xFC, 0xAA, 0xD7, 0xCE, 0x07, 0x0F,
    0x3D, 0x58, 0x9A, 0x98, 0x9C, 0xF2, 0xA7, 0x11, 0x7E, 0x8B, 0x43, 0x03, 0xE2, 0xDC, 0xE5, 0xB2,
    0x4E, 0xC7, 0x6D, 0xE9, 0x27, 0x40, 0xD8, 0x37, 0x92, 0x8F, 0x01, 0x1D, 0x53, 0x3E, 0x59, 0xC1,
    0x4F, 0x32, 0x16, 0xFA, 0x74, 0xFB, 0x63, 0x9F, 0x34, 0x1A, 0x2A, 0x5A, 0x8D, 0xC9, 0xCF, 0xF6,
    0x90, 0x28, 0x88, 0x9B, 0x31, 0x0E, 0xBD, 0x4A, 0xE8, 0x96, 0xA6, 0x0C, 0xC8, 0x79, 0xBC, 0xBE,
    0xEF, 0x6E, 0x46, 0x97, 0x5B, 0xED, 0x19, 0xD9, 0xAC, 0x99, 0xA8, 0x29, 0x64, 0x1F, 0xAD, 0x55,
    0x13, 0xBB, 0xF7, 0x6F, 0xB9, 0x47, 0x2F, 0xEE, 0xB8, 0x7B, 0x89, 0x30, 0xD3, 0x7F, 0x76, 0x82,
};

// First row of the circulant diffusion matrix.
constexpr std::uint8_t kMatrixRow[8] = {1, 1, 3, 1, 5, 8, 9, 5};

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1.
constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b)
{
    unsigned product = 0;
    unsigned x = a;
    for (; b != 0; b >>= 1) {
        if (b & 1)
            product ^= x;
        x <<= 1;
        if (x & 0x100)
            x ^= 0x11D;
    }
    return static_cast<std::uint8_t>(product);
}

constexpr std::uint64_t RotateRight(std::uint64_t value, int bits)
{
    return bits == 0 ? value : (value >> bits) | (value << (64 - bits));
}

// Table t maps a byte of state row (i - t) mod 8, column t, to its contribution to row i after the
// S-box, the cyclic column shift and the diffusion: the S-box value times the matrix row, rotated
// by t bytes. One round is then eight lookups per row.
using TTables = std::array<std::array<std::uint64_t, 256>, 8>;

constexpr TTables BuildTables()
{
    TTables tables{};
    for (int x = 0; x < 256; ++x) {
        std::uint64_t row = 0;
        for (std::uint8_t coefficient : kMatrixRow)
            row = (row << 8) | GfMul(kSBox[x], coefficient);
        for (int t = 0; t < 8; ++t)
            tables[t][x] = RotateRight(row, 8 * t);
    }
    return tables;
}

constexpr std::array<std::uint64_t, kRounds + 1> BuildRoundConstants()
{
    std::array<std::uint64_t, kRounds + 1> constants{};
    for (int r = 1; r <= kRounds; ++r)
        for (int j = 0; j < 8; ++j)
            constants[r] = (constants[r] << 8) | kSBox[8 * (r - 1) + j];
    return constants;
}

constexpr TTables kTables = BuildTables();
constexpr std::array<std::uint64_t, kRounds + 1> kRoundConstants = BuildRoundConstants();

// One round of the block cipher W on the rows `in`, with `roundKey` added.
void Round(const std::uint64_t in[8], std::uint64_t out[8], const std::uint64_t roundKey[8])
{
    for (int i = 0; i < 8; ++i) {
        std::uint64_t row = roundKey[i];
        for (int t = 0; t < 8; ++t)
            row ^= kTables[t][(in[(i - t) & 7] >> (56 - 8 * t)) & 0xFF];
        out[i] = row;
    }
}

} // namespace

TWhirlpool0::~TWhirlpool0()
{
    Burn();
}

void TWhirlpool0::Init()
{
    std::memset(FHash, 0, sizeof FHash);
    std::memset(FBuffer, 0, sizeof FBuffer);
    FBufferUsed = 0;
    FLengthBytes = 0;
}

void TWhirlpool0::Update(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    FLengthBytes += size;
    while (size > 0) {
        const std::size_t take = std::min(size, BlockSize - FBufferUsed);
        std::memcpy(FBuffer + FBufferUsed, bytes, take);
        FBufferUsed += take;
        bytes += take;
        size -= take;
        if (FBufferUsed == BlockSize) {
            ProcessBlock();
            FBufferUsed = 0;
        }
    }
}

void TWhirlpool0::Final(std::uint8_t digest[DigestSize])
{
    // The message length in bits is a 256-bit big-endian number in the last 32 bytes of the final
    // block; when it does not fit behind the 0x80 byte, one more block is needed.
    const std::uint64_t lengthBits = FLengthBytes << 3;
    const std::uint64_t lengthHigh = FLengthBytes >> 61;
    FBuffer[FBufferUsed++] = 0x80;
    if (FBufferUsed > BlockSize - 32) {
        std::memset(FBuffer + FBufferUsed, 0, BlockSize - FBufferUsed);
        ProcessBlock();
        FBufferUsed = 0;
    }
    std::memset(FBuffer + FBufferUsed, 0, BlockSize - FBufferUsed);
    for (int i = 0; i < 8; ++i) {
        FBuffer[BlockSize - 1 - i] = static_cast<std::uint8_t>(lengthBits >> (8 * i));
        FBuffer[BlockSize - 9 - i] = static_cast<std::uint8_t>(lengthHigh >> (8 * i));
    }
    ProcessBlock();
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            digest[8 * i + j] = static_cast<std::uint8_t>(FHash[i] >> (56 - 8 * j));
    Burn();
}

void TWhirlpool0::ProcessBlock()
{
    // Miyaguchi-Preneel: the chaining value keys W, which encrypts the block; the result is
    // combined with both.
    std::uint64_t block[8], key[8], state[8], next[8];
    for (int i = 0; i < 8; ++i) {
        block[i] = 0;
        for (int j = 0; j < 8; ++j)
            block[i] = (block[i] << 8) | FBuffer[8 * i + j];
        key[i] = FHash[i];
        state[i] = block[i] ^ key[i];
    }
    for (int r = 1; r <= kRounds; ++r) {
        const std::uint64_t roundConstant[8] = {kRoundConstants[r], 0, 0, 0, 0, 0, 0, 0};
        Round(key, next, roundConstant);
        std::memcpy(key, next, sizeof key);
        Round(state, next, key);
        std::memcpy(state, next, sizeof state);
    }
    for (int i = 0; i < 8; ++i)
        FHash[i] ^= state[i] ^ block[i];
    BurnBytes(block, sizeof block);
    BurnBytes(key, sizeof key);
    BurnBytes(state, sizeof state);
    BurnBytes(next, sizeof next);
}

void TWhirlpool0::Burn() noexcept
{
    BurnBytes(FHash, sizeof FHash);
    BurnBytes(FBuffer, sizeof FBuffer);
    BurnBytes(&FBufferUsed, sizeof FBufferUsed);
    BurnBytes(&FLengthBytes, sizeof FLengthBytes);
}
