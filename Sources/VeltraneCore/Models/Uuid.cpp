#include "VeltraneCore/Models/Uuid.hpp"

#include <cstring>
#include <random>

namespace veltrane {

namespace {

std::mt19937_64& threadGenerator()
{
    // One generator per thread, seeded from the system's entropy source, so that identifiers are cheap
    // to draw in bulk and no two threads ever share generator state.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    return generator;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDashPosition(std::size_t index) { return index == 8 || index == 13 || index == 18 || index == 23; }

} // namespace

Uuid Uuid::random()
{
    auto& generator = threadGenerator();
    Uuid id;
    const std::uint64_t high = generator();
    const std::uint64_t low = generator();
    std::memcpy(id.bytes.data(), &high, 8);
    std::memcpy(id.bytes.data() + 8, &low, 8);
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0F) | 0x40); // version 4
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return id;
}

std::optional<Uuid> Uuid::fromString(std::string_view text)
{
    if (text.size() != 36) return std::nullopt;
    Uuid id;
    std::size_t byteIndex = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isDashPosition(i)) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexDigitValue(text[i]);
        const int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        id.bytes[byteIndex++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return id;
}

std::string Uuid::toString() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

bool Uuid::isNil() const { return *this == Uuid{}; }

} // namespace veltrane

std::size_t std::hash<veltrane::Uuid>::operator()(const veltrane::Uuid& id) const noexcept
{
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, id.bytes.data(), 8);
    std::memcpy(&low, id.bytes.data() + 8, 8);
    return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
}
