#include "VeltraneCore/FileFormat/ProjectDocumentParser.hpp"

#include "VeltraneCore/FileFormat/TextExcerpt.hpp"

#include <cmath>
#include <iterator>
#include <optional>

namespace veltrane::fileformat {

namespace {

/// What the parser has read of the text, kept beside it for the error message.
struct ReadProgress {
    const char* lastRead = nullptr;
    std::size_t charactersRead = 0;
    /// Where a number longer than `maxProjectNumberLength` starts; the text is cut off there.
    const char* overlongNumber = nullptr;
};

// The text as the parser sees it. The parser keeps every character of the token it is reading, and
// counts a run of white space as part of the token after it, so a long run would cost several times its
// length in memory (and the whole run would be quoted in an error); a run of white space outside strings
// therefore reaches it as its first character alone, which means the same in JSON. A number longer than
// any number a file needs ends the text, and the parse then fails on that.
class CompactText {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CompactText(const char* at, const char* end, ReadProgress* progress) : at_(at), end_(end), progress_(progress) {}

    reference operator*() const
    {
        progress_->lastRead = at_;
        ++progress_->charactersRead;
        return *at_;
    }

    CompactText& operator++()
    {
        const char c = *at_++;
        if (inString_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == '"') {
                inString_ = false;
            }
            return *this;
        }
        if (isSpace(c)) {
            numberLength_ = 0;
            while (at_ != end_ && isSpace(*at_)) ++at_;
            return *this;
        }
        const bool startsNumber = (c >= '0' && c <= '9') || c == '-';
        if (numberLength_ > 0 ? isNumberCharacter(c) : startsNumber) {
            if (++numberLength_ > maxProjectNumberLength) {
                progress_->overlongNumber = at_ - numberLength_;
                at_ = end_;
            }
            return *this;
        }
        numberLength_ = 0;
        inString_ = c == '"';
        return *this;
    }

    bool operator==(const CompactText& other) const { return at_ == other.at_; }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
    static bool isNumberCharacter(char c)
    {
        return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
    }

    const char* at_;
    const char* end_;
    ReadProgress* progress_;
    bool inString_ = false;
    bool escaped_ = false;
    std::size_t numberLength_ = 0;
};

// Where a container sits in the document, as far as the parser cares: the pattern grids are read
// while parsing; every other container is built as a tree.
enum class Role : std::uint8_t { other, root, patterns, pattern, cells, row };

struct Frame {
    Json* value = nullptr;
    Role role = Role::other;
    std::size_t count = 0; // elements begun so far, for arrays
};

class TreeBuilder final : public nlohmann::json_sax<Json> {
public:
    TreeBuilder(std::string_view text, const ReadProgress& progress) : text_(text), progress_(progress) {}

    ParsedProjectDocument take() { return {std::move(root_), std::move(grids_)}; }
    const std::optional<ProjectError>& error() const { return error_; }

    bool null() override { return addScalar(Json(nullptr)); }
    bool boolean(bool value) override { return addScalar(Json(value)); }
    bool number_integer(number_integer_t value) override { return addScalar(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return addScalar(Json(value)); }
    bool number_float(number_float_t value, const string_t& text) override
    {
        if (!std::isfinite(value)) return fail("The number " + textExcerpt(text) + " is too large to be represented", {});
        return addScalar(Json(value));
    }
    bool string(string_t& value) override { return addScalar(Json(std::move(value))); }
    bool binary(binary_t&) override { return fail("Binary values are not JSON", {}); }

    bool key(string_t& name) override
    {
        key_ = std::move(name);
        return true;
    }

    bool start_object(std::size_t) override
    {
        if (!canOpen()) return false;
        const Role parent = parentRole();
        if (parent == Role::cells) return failNotARow("an object");
        const Role role = stack_.empty() ? Role::root : parent == Role::patterns ? Role::pattern : Role::other;
        stack_.push_back({insert(Json(Json::value_t::object)), role, 0});
        return true;
    }

    bool end_object() override
    {
        stack_.pop_back();
        return true;
    }

    bool start_array(std::size_t) override
    {
        if (!canOpen()) return false;
        const Role parent = parentRole();
        if (parent == Role::cells) {
            // A row is read into a buffer of its own and never joins the tree.
            ++stack_.back().count;
            rowBuffer_ = Json(Json::value_t::array);
            stack_.push_back({&rowBuffer_, Role::row, 0});
            return true;
        }
        Role role = Role::other;
        if (parent == Role::root && key_ == "patterns") role = Role::patterns;
        if (parent == Role::pattern && key_ == "cells") role = Role::cells;
        if (role == Role::cells) currentRows_.clear();
        stack_.push_back({insert(Json(Json::value_t::array)), role, 0});
        return true;
    }

    bool end_array() override
    {
        const Frame frame = stack_.back();
        stack_.pop_back();
        if (frame.role == Role::row) {
            try {
                currentRows_.push_back(readRow());
            } catch (const ProjectError& error) {
                error_ = error;
                return false;
            }
            rowBuffer_ = Json();
        } else if (frame.role == Role::cells) {
            grids_.push_back(std::move(currentRows_));
            currentRows_ = {};
            *frame.value = Json::binary({}, static_cast<std::uint64_t>(grids_.size() - 1));
        }
        return true;
    }

    bool parse_error(std::size_t position, const std::string& lastToken, const nlohmann::detail::exception& exception) override
    {
        // nlohmann's messages read "[json.exception.parse_error.101] parse error at line 1, column 9:
        // syntax error while parsing value - invalid literal; last read: '<the token>'; expected ...", or
        // "[json.exception.out_of_range.406] number overflow parsing '<the token>'". The tag means nothing
        // to a user, the place counts the text as the parser saw it, and the token may be as long as the
        // file and hold any bytes: only the fixed words are kept, and the place is found anew.
        std::string message = exception.what();
        if (const auto tagEnd = message.find("] "); message.starts_with('[') && tagEnd != std::string::npos) {
            message.erase(0, tagEnd + 2);
        }
        if (message.starts_with("parse error")) {
            if (const auto placeEnd = message.find(": "); placeEnd != std::string::npos) message.erase(0, placeEnd + 2);
        }
        const std::string lastRead = "; last read: '" + lastToken + "'";
        if (const auto at = message.find(lastRead); at != std::string::npos) {
            message.erase(at, lastRead.size());
        } else if (const auto quoted = message.find("'" + lastToken + "'"); quoted != std::string::npos) {
            message.replace(quoted + 1, lastToken.size(), textExcerpt(lastToken));
        }
        // The parser counts the end of the text as one more character read.
        const bool atEnd = position > progress_.charactersRead || progress_.lastRead == nullptr;
        const std::size_t offset = atEnd ? text_.size() : static_cast<std::size_t>(progress_.lastRead - text_.data());
        return failAt(textExcerpt(message, 200), offset);
    }

    bool failAt(const std::string& what, std::size_t offset)
    {
        return fail("The file is not valid JSON: " + what + " (" + locate(text_, offset).description() + ")", {});
    }

private:
    Role parentRole() const { return stack_.empty() ? Role::other : stack_.back().role; }

    bool canOpen()
    {
        if (stack_.size() < maxProjectDocumentDepth) return true;
        return fail("The document nests deeper than " + std::to_string(maxProjectDocumentDepth) + " levels", {});
    }

    bool addScalar(Json&& value)
    {
        if (parentRole() == Role::cells) return failNotARow(describeType(value));
        insert(std::move(value));
        return true;
    }

    Json* insert(Json&& value)
    {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Frame& parent = stack_.back();
        if (parent.value->is_array()) {
            auto& array = parent.value->get_ref<Json::array_t&>();
            array.push_back(std::move(value));
            ++parent.count;
            return &array.back();
        }
        // A repeated member replaces the earlier one: the last one written is the one read.
        Json& slot = parent.value->get_ref<Json::object_t&>()[key_];
        slot = std::move(value);
        return &slot;
    }

    // The pattern roles sit at fixed depths: root 0, patterns 1, pattern 2, cells 3, row 4; when a row has
    // just been closed, the cells frame is the last one.
    std::vector<Cell> readRow() const
    {
        const CodingPath root;
        const auto patterns = root.member("patterns");
        const auto pattern = patterns.index(stack_[1].count - 1);
        const auto cells = pattern.member("cells");
        return readCellRow(rowBuffer_, cells.index(stack_[3].count - 1));
    }

    bool failNotARow(const std::string& found)
    {
        const CodingPath root;
        const auto patterns = root.member("patterns");
        const auto pattern = patterns.index(stack_[1].count - 1);
        const auto cells = pattern.member("cells");
        return fail("Expected an array but found " + found, cells.index(stack_.back().count).toString());
    }

    bool fail(std::string detail, std::string path)
    {
        error_ = ProjectError::unreadable(std::move(detail), std::move(path));
        return false;
    }

    std::string_view text_;
    const ReadProgress& progress_;
    Json root_;
    std::vector<Frame> stack_;
    std::string key_;
    ParsedGrids grids_;
    Json rowBuffer_;
    std::vector<std::vector<Cell>> currentRows_;
    std::optional<ProjectError> error_;
};

} // namespace

ParsedProjectDocument parseProjectDocument(std::string_view text)
{
    ReadProgress progress;
    TreeBuilder builder(text, progress);
    const char* end = text.data() + text.size();
    const bool parsed = Json::sax_parse(CompactText(text.data(), end, &progress), CompactText(end, end, &progress),
                                        &builder, Json::input_format_t::json, true, false);
    if (progress.overlongNumber != nullptr) {
        builder.failAt("a number is longer than " + std::to_string(maxProjectNumberLength) + " characters",
                       static_cast<std::size_t>(progress.overlongNumber - text.data()));
        throw *builder.error();
    }
    if (!parsed) {
        if (builder.error()) throw *builder.error();
        throw ProjectError::unreadable("The file is not valid JSON", {});
    }
    return builder.take();
}

ProjectReadResult readProjectText(std::string_view text)
{
    auto document = parseProjectDocument(text);
    return readProject(document.root, &document.grids);
}

} // namespace veltrane::fileformat
