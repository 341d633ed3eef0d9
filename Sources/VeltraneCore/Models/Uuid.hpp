#pragma once

// A universally unique identifier: 16 bytes, compared and hashed by value.
//
//     Uuid::random()          a fresh random (version 4) identifier; safe on any thread
//     Uuid{}                  the nil identifier (all zero), a placeholder a reader overwrites
//     id.toString()           canonical upper-case form "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"
//     Uuid::fromString(text)  the canonical 8-4-4-4-12 hex form in either letter case, else nothing

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    static std::optional<Uuid> fromString(std::string_view text);
    std::string toString() const;
    bool isNil() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

} // namespace veltrane

template <>
struct std::hash<veltrane::Uuid> {
    std::size_t operator()(const veltrane::Uuid& id) const noexcept;
};
