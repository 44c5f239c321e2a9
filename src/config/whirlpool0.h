#pragma once
// Whirlpool-0: the first published form of the Whirlpool hash, used by the key derivation of the
// stored passwords. Its S-box and diffusion matrix differ from the later versions, so no library
// implementation can stand in for it.

#include <cstddef>
#include <cstdint>

/// Incremental Whirlpool-0 hash (512-bit digest). Its chaining state and block buffer are burnt when
/// the object is finalised or destroyed.
class TWhirlpool0 {
public:
    static constexpr std::size_t DigestSize = 64;
    static constexpr std::size_t BlockSize = 64;

    TWhirlpool0() { Init(); }
    ~TWhirlpool0();
    TWhirlpool0(const TWhirlpool0&) = delete;
    TWhirlpool0& operator=(const TWhirlpool0&) = delete;

    /// Starts a new message.
    void Init();
    void Update(const void* data, std::size_t size);
    /// Pads, writes the 64-byte digest and burns the state; call Init before hashing again.
    void Final(std::uint8_t digest[DigestSize]);

private:
    void ProcessBlock();
    void Burn() noexcept;

    std::uint64_t FHash[8];
    std::uint8_t FBuffer[BlockSize];
    std::size_t FBufferUsed;
    std::uint64_t FLengthBytes;
};
