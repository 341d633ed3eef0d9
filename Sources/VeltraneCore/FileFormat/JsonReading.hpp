#pragma once

// The typed reads of the project file's reader. Each takes a JSON value and the path it was found at,
// and either returns the field's value or throws `ProjectError::unreadable` naming the fault and the
// path. Numbers are read as the file format states: an integer field takes any number with an integral
// value inside its type's range; a Double field takes any finite number.

#include "VeltraneCore/FileFormat/CodingPath.hpp"
#include "VeltraneCore/FileFormat/TextExcerpt.hpp"
#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"
#include "VeltraneCore/Models/RawValue.hpp"
#include "VeltraneCore/Models/Uuid.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane::fileformat {

using Json = nlohmann::json;

[[noreturn]] void failRead(const CodingPath& path, const std::string& detail);

/// "a string", "a number", "an object", "an array", "a Boolean", "null".
std::string describeType(const Json& value);

const Json::object_t& readObject(const Json& value, const CodingPath& path);
const Json::array_t& readArray(const Json& value, const CodingPath& path);

/// The member `name` of `object` (found at `path`); a missing or null member fails the read.
const Json& requiredMember(const Json::object_t& object, std::string_view name, const CodingPath& path);
/// The member `name`, or nothing when it is missing or null.
const Json* optionalMember(const Json::object_t& object, std::string_view name);

double readDouble(const Json& value, const CodingPath& path);
/// Any integral number from -2^63 to 2^63 - 1.
std::int64_t readInt64(const Json& value, const CodingPath& path);
/// The integer of `readInt64`, held to the range of `int`. Every field stored as `int` (indices, sizes,
/// counts, pitches) is far narrower than that range in a valid project, and a held number is refused or
/// repaired by the load check just as the exact one would be.
int readInt(const Json& value, const CodingPath& path);
std::uint8_t readUInt8(const Json& value, const CodingPath& path);
std::uint32_t readUInt32(const Json& value, const CodingPath& path);
bool readBool(const Json& value, const CodingPath& path);
const std::string& readString(const Json& value, const CodingPath& path);
Uuid readUuid(const Json& value, const CodingPath& path);
/// Padded standard Base64.
Data readData(const Json& value, const CodingPath& path);

/// The integral value of a number, if it has one that fits in -2^63 ... 2^63 - 1.
std::optional<std::int64_t> integralValue(const Json& value);

/// A raw-value enumeration; `typeName` names it in the error ("effect type").
template <class Enum>
Enum readRawValue(const Json& value, const CodingPath& path, std::string_view typeName)
{
    const auto& text = readString(value, path);
    if (auto parsed = fromRawValue<Enum>(text)) return *parsed;
    failRead(path, "\"" + textExcerpt(text) + "\" is not a valid " + std::string(typeName));
}

} // namespace veltrane::fileformat
