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

JsonWriter::JsonWriter(std::string& output)
    : out_(output)
    , buffer_(64 * 1024)
{
}

void JsonWriter::flush()
{
    out_.append(buffer_.data(), used_);
    used_ = 0;
}

void JsonWriter::put(std::string_view text)
{
    if (text.size() > buffer_.size() - used_) {
        flush();
        if (text.size() > buffer_.size()) {
            out_.append(text);
            return;
        }
    }
    // Tokens are short: a plain loop beats a call to memcpy for each.
    char* destination = buffer_.data() + used_;
    for (const char c : text) *destination++ = c;
    used_ += text.size();
}

void JsonWriter::newlineAndIndent(std::size_t depth)
{
    const std::size_t length = 1 + depth * 2;
    if (length > buffer_.size() - used_) flush();
    if (length > buffer_.size()) {
        out_.push_back('\n');
        out_.append(depth * 2, ' ');
        return;
    }
    char* destination = buffer_.data() + used_;
    *destination++ = '\n';
    for (std::size_t i = 1; i < length; ++i) *destination++ = ' ';
    used_ += length;
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
    if (level.count > 0) put(',');
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
    if (level.count > 0) put(',');
    newlineAndIndent(levels_.size());
    writeQuoted(name);
    put(": ");
    level.lastKey = name;
    ++level.count;
    afterKey_ = true;
}

void JsonWriter::beginObject()
{
    beforeValue();
    put('{');
    levels_.push_back({.isObject = true});
}

void JsonWriter::endObject()
{
    if (levels_.empty() || !levels_.back().isObject || afterKey_) throw std::logic_error("JsonWriter: unbalanced object");
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) newlineAndIndent(levels_.size());
    put('}');
}

void JsonWriter::beginArray()
{
    beforeValue();
    put('[');
    levels_.push_back({.isObject = false});
}

void JsonWriter::endArray()
{
    if (levels_.empty() || levels_.back().isObject) throw std::logic_error("JsonWriter: unbalanced array");
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) newlineAndIndent(levels_.size());
    put(']');
}

void JsonWriter::null()
{
    beforeValue();
    put("null");
}

void JsonWriter::boolean(bool value)
{
    beforeValue();
    put(value ? "true" : "false");
}

void JsonWriter::integer(std::int64_t value)
{
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    put(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
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
    put(numberText(value));
}

void JsonWriter::string(std::string_view text)
{
    beforeValue();
    writeQuoted(text);
}

void JsonWriter::writeQuoted(std::string_view text)
{
    put('"');
    std::size_t runStart = 0;
    const auto copyRun = [&](std::size_t end) { put(text.substr(runStart, end - runStart)); };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\' && byte < 0x80) {
            ++i;
            continue;
        }
        if (byte >= 0x80) {
            const auto sequence = utf8SequenceAt(text, i);
            if (!sequence.valid) {
                copyRun(i);
                put(replacementCharacter);
                runStart = i + sequence.length;
            }
            i += sequence.length;
            continue;
        }
        copyRun(i);
        switch (byte) {
        case '"': put("\\\""); break;
        case '\\': put("\\\\"); break;
        case '\b': put("\\b"); break;
        case '\f': put("\\f"); break;
        case '\n': put("\\n"); break;
        case '\r': put("\\r"); break;
        case '\t': put("\\t"); break;
        default: {
            static constexpr char hex[] = "0123456789abcdef";
            put("\\u00");
            put(hex[byte >> 4]);
            put(hex[byte & 0x0F]);
        }
        }
        runStart = ++i;
    }
    copyRun(text.size());
    put('"');
}

} // namespace veltrane
