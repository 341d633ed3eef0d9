#pragma once

// Where in a document a reader or writer is: a chain of member names and array indices from the root,
// built on the stack as the tree is walked and spelled out only when an error needs it.
//
//     const CodingPath root;
//     const auto patterns = root.member("patterns");
//     const auto pattern = patterns.index(0);
//     pattern.member("cells").toString()   // "patterns[0].cells"
//
// A path refers to its parent: it must not outlive the path it was made from, and so it cannot be made
// from a temporary.

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane {

class CodingPath {
public:
    CodingPath() = default;

    CodingPath member(std::string_view name) const& { return CodingPath(this, name, 0, false); }
    CodingPath index(std::size_t position) const& { return CodingPath(this, {}, position, true); }
    // A path made from a temporary would refer to it after it is gone: name every step instead.
    CodingPath member(std::string_view name) const&& = delete;
    CodingPath index(std::size_t position) const&& = delete;

    /// "" for the root; members joined by ".", indices in brackets.
    std::string toString() const
    {
        if (parent_ == nullptr) return {};
        std::string text = parent_->toString();
        if (isIndex_) {
            text += '[' + std::to_string(index_) + ']';
        } else {
            if (!text.empty()) text += '.';
            text += name_;
        }
        return text;
    }

private:
    CodingPath(const CodingPath* parent, std::string_view name, std::size_t position, bool isIndex)
        : parent_(parent)
        , name_(name)
        , index_(position)
        , isIndex_(isIndex)
    {
    }

    const CodingPath* parent_ = nullptr;
    std::string_view name_;
    std::size_t index_ = 0;
    bool isIndex_ = false;
};

} // namespace veltrane
