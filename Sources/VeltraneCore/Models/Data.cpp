#include "VeltraneCore/Models/Data.hpp"

#include <algorithm>

namespace veltrane {

Data::Data(std::vector<std::uint8_t> bytes)
{
    if (!bytes.empty()) storage_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
}

Data::Data(const std::uint8_t* bytes, std::size_t count)
{
    if (count > 0) storage_ = std::make_shared<const std::vector<std::uint8_t>>(bytes, bytes + count);
}

Data::Data(std::string_view text)
    : Data(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())
{
}

std::span<const std::uint8_t> Data::bytes() const
{
    if (!storage_) return {};
    return {storage_->data(), storage_->size()};
}

std::vector<std::uint8_t> Data::toVector() const { return storage_ ? *storage_ : std::vector<std::uint8_t>{}; }

std::string Data::toString() const { return std::string(reinterpret_cast<const char*>(data()), size()); }

bool Data::sharesStorageWith(const Data& other) const { return storage_ && storage_ == other.storage_; }

bool operator==(const Data& a, const Data& b)
{
    if (a.storage_ == b.storage_) return true;
    const auto left = a.bytes();
    const auto right = b.bytes();
    return std::equal(left.begin(), left.end(), right.begin(), right.end());
}

} // namespace veltrane
