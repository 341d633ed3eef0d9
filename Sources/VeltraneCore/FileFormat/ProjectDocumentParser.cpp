#include "VeltraneCore/FileFormat/ProjectDocumentParser.hpp"

#include <cmath>
#include <optional>

namespace veltrane::fileformat {

namespace {

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
    ParsedProjectDocument take() { return {std::move(root_), std::move(grids_)}; }
    const std::optional<ProjectError>& error() const { return error_; }

    bool null() override { return addScalar(Json(nullptr)); }
    bool boolean(bool value) override { return addScalar(Json(value)); }
    bool number_integer(number_integer_t value) override { return addScalar(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return addScalar(Json(value)); }
    bool number_float(number_float_t value, const string_t& text) override
    {
        if (!std::isfinite(value)) return fail("The number " + text + " is too large to be represented", {});
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

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& exception) override
    {
        // nlohmann's messages start with a tag such as "[json.exception.parse_error.101] ", which means
        // nothing to a user.
        std::string message = exception.what();
        if (const auto tagEnd = message.find("] "); !message.empty() && message.front() == '[' && tagEnd != std::string::npos) {
            message.erase(0, tagEnd + 2);
        }
        return fail("The file is not valid JSON: " + message, {});
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
    TreeBuilder builder;
    const bool parsed = Json::sax_parse(text.data(), text.data() + text.size(), &builder, Json::input_format_t::json, true, false);
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
