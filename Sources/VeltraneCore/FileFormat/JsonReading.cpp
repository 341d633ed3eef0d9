#include "VeltraneCore/FileFormat/JsonReading.hpp"

#include "VeltraneCore/FileFormat/Base64.hpp"
#include "VeltraneCore/FileFormat/TextExcerpt.hpp"

#include <cmath>
#include <limits>

namespace veltrane::fileformat {

namespace {

[[noreturn]] void failType(const Json& value, const CodingPath& path, std::string_view expected)
{
    failRead(path, "Expected " + std::string(expected) + " but found " + describeType(value));
}

std::string numberText(const Json& value)
{
    // The shortest text that reads back to the number, as the file would spell it.
    return textExcerpt(value.dump());
}

[[noreturn]] void failRange(const Json& value, const CodingPath& path, std::string_view range)
{
    failRead(path, "The number " + numberText(value) + " does not fit in " + std::string(range));
}

std::int64_t readIntegerInRange(const Json& value, const CodingPath& path, std::int64_t low, std::int64_t high,
                                std::string_view range)
{
    if (!value.is_number()) failType(value, path, "an integer");
    const auto integer = integralValue(value);
    if (!integer) {
        if (value.is_number_float() && std::trunc(value.get<double>()) != value.get<double>()) {
            failRead(path, "Expected an integer but found " + numberText(value));
        }
        failRange(value, path, range);
    }
    if (*integer < low || *integer > high) failRange(value, path, range);
    return *integer;
}

} // namespace

void failRead(const CodingPath& path, const std::string& detail) { throw ProjectError::unreadable(detail, path.toString()); }

std::string describeType(const Json& value)
{
    switch (value.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "an array";
    case Json::value_t::string: return "a string";
    case Json::value_t::boolean: return "a Boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return "a number";
    case Json::value_t::binary:
    case Json::value_t::discarded: break;
    }
    return "a value of another kind";
}

const Json::object_t& readObject(const Json& value, const CodingPath& path)
{
    if (!value.is_object()) failType(value, path, "an object");
    return value.get_ref<const Json::object_t&>();
}

const Json::array_t& readArray(const Json& value, const CodingPath& path)
{
    if (!value.is_array()) failType(value, path, "an array");
    return value.get_ref<const Json::array_t&>();
}

const Json& requiredMember(const Json::object_t& object, std::string_view name, const CodingPath& path)
{
    const auto found = object.find(name);
    if (found == object.end()) failRead(path, "The required member \"" + std::string(name) + "\" is missing");
    if (found->second.is_null()) failRead(path.member(name), "The required member \"" + std::string(name) + "\" is null");
    return found->second;
}

const Json* optionalMember(const Json::object_t& object, std::string_view name)
{
    const auto found = object.find(name);
    if (found == object.end() || found->second.is_null()) return nullptr;
    return &found->second;
}

std::optional<std::int64_t> integralValue(const Json& value)
{
    switch (value.type()) {
    case Json::value_t::number_integer: return value.get<std::int64_t>();
    case Json::value_t::number_unsigned: {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(unsignedValue);
    }
    case Json::value_t::number_float: {
        const double number = value.get<double>();
        // -2^63 is exact as a double; 2^63 is the first double past the top of the range.
        constexpr double lowest = -9223372036854775808.0;
        constexpr double pastHighest = 9223372036854775808.0;
        if (!std::isfinite(number) || std::trunc(number) != number) return std::nullopt;
        if (number < lowest || number >= pastHighest) return std::nullopt;
        return static_cast<std::int64_t>(number);
    }
    default: return std::nullopt;
    }
}

double readDouble(const Json& value, const CodingPath& path)
{
    if (!value.is_number()) failType(value, path, "a number");
    const double number = value.get<double>();
    if (!std::isfinite(number)) failRead(path, "The number " + numberText(value) + " is not finite");
    return number;
}

std::int64_t readInt64(const Json& value, const CodingPath& path)
{
    return readIntegerInRange(value, path, std::numeric_limits<std::int64_t>::min(),
                              std::numeric_limits<std::int64_t>::max(), "a 64-bit integer");
}

int readInt(const Json& value, const CodingPath& path)
{
    const std::int64_t integer = readInt64(value, path);
    if (integer < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (integer > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(integer);
}

std::uint8_t readUInt8(const Json& value, const CodingPath& path)
{
    return static_cast<std::uint8_t>(readIntegerInRange(value, path, 0, 255, "0 to 255"));
}

std::uint32_t readUInt32(const Json& value, const CodingPath& path)
{
    return static_cast<std::uint32_t>(readIntegerInRange(value, path, 0, 4294967295, "0 to 4294967295"));
}

bool readBool(const Json& value, const CodingPath& path)
{
    if (!value.is_boolean()) failType(value, path, "true or false");
    return value.get<bool>();
}

const std::string& readString(const Json& value, const CodingPath& path)
{
    if (!value.is_string()) failType(value, path, "a string");
    return value.get_ref<const std::string&>();
}

Uuid readUuid(const Json& value, const CodingPath& path)
{
    const auto& text = readString(value, path);
    if (auto id = Uuid::fromString(text)) return *id;
    failRead(path, "\"" + textExcerpt(text) + "\" is not a UUID");
}

Data readData(const Json& value, const CodingPath& path)
{
    auto bytes = base64Decoded(readString(value, path));
    if (!bytes) failRead(path, "The text is not valid Base64");
    return Data(std::move(*bytes));
}

} // namespace veltrane::fileformat
