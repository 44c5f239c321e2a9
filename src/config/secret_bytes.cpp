#include "config/secret_bytes.h"

#include <utility>

void BurnBytes(void* data, std::size_t size) noexcept
{
    if (data == nullptr)
        return;
    volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::uint8_t pattern :
         {std::uint8_t(0x55), std::uint8_t(0xAA), std::uint8_t(0xFF), std::uint8_t(0x00)})
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = pattern;
}

TSecretBytes::TSecretBytes(std::size_t size) : FData(std::make_unique<std::uint8_t[]>(size)), FSize(size) {}

TSecretBytes::~TSecretBytes()
{
    Release();
}

TSecretBytes::TSecretBytes(TSecretBytes&& other) noexcept
    : FData(std::move(other.FData)), FSize(std::exchange(other.FSize, 0))
{}

TSecretBytes& TSecretBytes::operator=(TSecretBytes&& other) noexcept
{
    if (this != &other) {
        Release();
        FData = std::move(other.FData);
        FSize = std::exchange(other.FSize, 0);
    }
    return *this;
}

void TSecretBytes::Release() noexcept
{
    BurnBytes(FData.get(), FSize);
    FData.reset();
    FSize = 0;
}
