#pragma once
// Byte buffers for seeds, keys and cipher text that are overwritten before their memory is released.

#include <cstddef>
#include <cstdint>
#include <memory>

/// Overwrites `size` bytes at `data` with 0x55, 0xAA, 0xFF and 0x00 in turn. The writes go through a
/// volatile pointer, so the compiler cannot drop them as dead stores.
void BurnBytes(void* data, std::size_t size) noexcept;

/// A byte buffer of fixed size, zero-filled, that burns its content when released. It never grows,
/// so no stale copy of its content is left behind by a reallocation.
class TSecretBytes {
public:
    explicit TSecretBytes(std::size_t size = 0);
    ~TSecretBytes();
    TSecretBytes(TSecretBytes&& other) noexcept;
    TSecretBytes& operator=(TSecretBytes&& other) noexcept;
    TSecretBytes(const TSecretBytes&) = delete;
    TSecretBytes& operator=(const TSecretBytes&) = delete;

    std::uint8_t* Data() { return FData.get(); }
    const std::uint8_t* Data() const { return FData.get(); }
    std::size_t Size() const { return FSize; }
    std::uint8_t& operator[](std::size_t index) { return FData[index]; }
    std::uint8_t operator[](std::size_t index) const { return FData[index]; }

private:
    void Release() noexcept;

    std::unique_ptr<std::uint8_t[]> FData;
    std::size_t FSize = 0;
};
