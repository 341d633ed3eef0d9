#pragma once

// Writes JSON text straight from values, laid out as nlohmann/json's two-space pretty print lays it out
// (one member or element per line, "{}" and "[]" for empty containers, `"name": value`), so that a
// project of hundreds of megabytes is written without first being built as a JSON tree.
//
//     JsonWriter writer(text);
//     writer.beginObject();
//     writer.key("bpm");  writer.number(124.0);
//     writer.key("name"); writer.string("Untitled");
//     writer.endObject();
//     writer.flush();
//
// Members must be given in ascending byte order of their names: the writer checks it, since a file with
// unsorted members would no longer match the written form byte for byte.
//
// Numbers: an integral Double of magnitude below 2^53 is written as an integer ("124"); -0 as "-0.0" so
// that its sign survives a reader that takes "-0" for the integer 0; every other Double in its shortest
// text that reads back to the same value. Strings are UTF-8: '"', '\\' and control characters are
// escaped, everything else is written as it stands; a byte sequence that is not UTF-8 is written as
// U+FFFD, since a file must be valid UTF-8 to be read again.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

class JsonWriter {
public:
    explicit JsonWriter(std::string& output);
    /// Hands what is still buffered to the output. Call it when the document is complete: until then
    /// the output lacks the last part of the text.
    void flush();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    /// The next member's name; its value follows with one of the value calls or a begin call.
    void key(std::string_view name);

    void null();
    void boolean(bool value);
    void integer(std::int64_t value);
    /// A finite Double; the caller refuses NaN and infinities before calling.
    void number(double value);
    void string(std::string_view text);

    /// Text of one finite Double as `number` writes it.
    static std::string numberText(double value);

private:
    struct Level {
        bool isObject = false;
        std::size_t count = 0;
        std::string_view lastKey;
    };

    void beforeValue();
    void writeQuoted(std::string_view text);
    void newlineAndIndent(std::size_t depth);

    // Text is gathered in a buffer of its own and handed to the output in large pieces: a large project
    // is tens of millions of tokens of a few bytes each, and appending each to the string costs far more
    // than writing it.
    void put(char c)
    {
        if (used_ == buffer_.size()) flush();
        buffer_[used_++] = c;
    }
    void put(std::string_view text);

    std::string& out_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

} // namespace veltrane
