#include "VeltraneCore/FileFormat/JsonWriter.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace veltrane {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

struct Utf8Sequence {
    bool valid = false;
    std::size_t length = 1; // bytes taken: the whole character, or the broken start of one
};

/// The UTF-8 sequence that starts `text` at `i`. A broken one takes its lead byte and the continuation
/// bytes that still fit it, so that each broken character becomes one replacement character.
Utf8Sequence utf8SequenceAt(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    std::size_t expected = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) return {true, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        expected = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        expected = 3;
        if (lead == 0xE0) low = 0xA0;  // overlong
        if (lead == 0xED) high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        expected = 4;
        if (lead == 0xF0) low = 0x90;  // overlong
        if (lead == 0xF4) high = 0x8F; // beyond U+10FFFF
    } else {
        return {false, 1};
    }
    std::size_t length = 1;
    while (length < expected && i + length < text.size()) {
        const unsigned char next = byte(i + length);
        const bool fits = length == 1 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
        if (!fits) break;
        ++length;
    }
    return {length == expected, length};
}

} // namespace

void JsonWriter::newlineAndIndent(std::size_t depth)
{
    out_.push_back('\n');
    out_.append(depth * 2, ' ');
}

void JsonWriter::beforeValue()
{
    if (levels_.empty()) return;
    auto& level = levels_.back();
    if (level.isObject) {
        if (!afterKey_) throw std::logic_error("JsonWriter: an object member needs a key first");
        afterKey_ = false;
        return;
    }
    out_.append(level.count == 0 ? "" : ",");
    newlineAndIndent(levels_.size());
    ++level.count;
}

void JsonWriter::key(std::string_view name)
{
    if (levels_.empty() || !levels_.back().isObject || afterKey_) throw std::logic_error("JsonWriter: key outside an object");
    auto& level = levels_.back();
    if (level.count > 0 && !(level.lastKey < name)) {
        throw std::logic_error("JsonWriter: members out of order at \"" + std::string(name) + "\"");
    }
    if (level.count > 0) out_.push_back(',');
    newlineAndIndent(levels_.size());
    writeQuoted(name);
    out_.append(": ");
    level.lastKey = name;
    ++level.count;
    afterKey_ = true;
}

void JsonWriter::beginObject()
{
    beforeValue();
    out_.push_back('{');
    levels_.push_back({.isObject = true});
}

void JsonWriter::endObject()
{
    if (levels_.empty() || !levels_.back().isObject || afterKey_) throw std::logic_error("JsonWriter: unbalanced object");
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) newlineAndIndent(levels_.size());
    out_.push_back('}');
}

void JsonWriter::beginArray()
{
    beforeValue();
    out_.push_back('[');
    levels_.push_back({.isObject = false});
}

void JsonWriter::endArray()
{
    if (levels_.empty() || levels_.back().isObject) throw std::logic_error("JsonWriter: unbalanced array");
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) newlineAndIndent(levels_.size());
    out_.push_back(']');
}

void JsonWriter::null()
{
    beforeValue();
    out_.append("null");
}

void JsonWriter::boolean(bool value)
{
    beforeValue();
    out_.append(value ? "true" : "false");
}

void JsonWriter::integer(std::int64_t value)
{
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

std::string JsonWriter::numberText(double value)
{
    // Integral values within the range where every integer is exact are written without a fraction, as
    // integers are: 124, not 124.0.
    constexpr double exactIntegerLimit = 9007199254740992.0; // 2^53
    char buffer[32];
    if (value == 0 && std::signbit(value)) return "-0.0";
    if (std::trunc(value) == value && std::fabs(value) < exactIntegerLimit) {
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(value));
        return std::string(buffer, result.ptr);
    }
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void JsonWriter::number(double value)
{
    beforeValue();
    out_.append(numberText(value));
}

void JsonWriter::string(std::string_view text)
{
    beforeValue();
    writeQuoted(text);
}

void JsonWriter::writeQuoted(std::string_view text)
{
    out_.push_back('"');
    std::size_t runStart = 0;
    const auto flush = [&](std::size_t end) { out_.append(text.substr(runStart, end - runStart)); };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\' && byte < 0x80) {
            ++i;
            continue;
        }
        if (byte >= 0x80) {
            const auto sequence = utf8SequenceAt(text, i);
            if (!sequence.valid) {
                flush(i);
                out_.append(replacementCharacter);
                runStart = i + sequence.length;
            }
            i += sequence.length;
            continue;
        }
        flush(i);
        switch (byte) {
        case '"': out_.append("\\\""); break;
        case '\\': out_.append("\\\\"); break;
        case '\b': out_.append("\\b"); break;
        case '\f': out_.append("\\f"); break;
        case '\n': out_.append("\\n"); break;
        case '\r': out_.append("\\r"); break;
        case '\t': out_.append("\\t"); break;
        default: {
            static constexpr char hex[] = "0123456789abcdef";
            out_.append("\\u00");
            out_.push_back(hex[byte >> 4]);
            out_.push_back(hex[byte & 0x0F]);
        }
        }
        runStart = ++i;
    }
    flush(text.size());
    out_.push_back('"');
}

} // namespace veltrane
