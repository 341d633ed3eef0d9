#pragma once

// An immutable byte string with shared storage: the sample bytes, bookmarks and saved plug-in states of
// a project. Copying a `Data` copies one pointer, so whole-project copies (undo steps, hand-overs to the
// engine) never duplicate the megabytes an embedded sample can hold. There are no mutating accessors: a
// change makes a new `Data`.
//
//     Data(std::vector<std::uint8_t>)   takes the bytes over (moved in)
//     Data(pointer, count), Data(std::string_view)
//     size(), empty(), bytes() (a span), begin()/end(), toVector(), toString()
//     sharesStorageWith(other)          true when both point at the same bytes
//
// Equality: the same storage, or equal bytes. An empty `Data` holds no storage at all.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

class Data {
public:
    Data() = default;
    explicit Data(std::vector<std::uint8_t> bytes);
    Data(const std::uint8_t* bytes, std::size_t count);
    explicit Data(std::string_view text);

    std::size_t size() const { return storage_ ? storage_->size() : 0; }
    bool empty() const { return size() == 0; }
    std::span<const std::uint8_t> bytes() const;
    const std::uint8_t* data() const { return bytes().data(); }
    const std::uint8_t* begin() const { return bytes().data(); }
    const std::uint8_t* end() const { return bytes().data() + size(); }
    std::vector<std::uint8_t> toVector() const;
    std::string toString() const;
    bool sharesStorageWith(const Data& other) const;

    friend bool operator==(const Data& a, const Data& b);

private:
    std::shared_ptr<const std::vector<std::uint8_t>> storage_;
};

} // namespace veltrane
