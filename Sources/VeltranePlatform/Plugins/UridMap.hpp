#pragma once

#include <lv2/urid/urid.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace veltrane {

/// The host's URI-to-number table, handed to plug-ins as urid:map and urid:unmap. Plug-ins may call it
/// from any thread (well-behaved ones only while instantiating), so it is guarded by its own mutex.
class UridMap {
public:
    UridMap();
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    /// The number for `uri`, assigning the next one on first use. Numbers start at 1; 0 is never used.
    LV2_URID map(std::string_view uri);
    /// The URI of `urid`, or nullptr for a number never handed out. The text lives as long as the map.
    const char* unmap(LV2_URID urid) const;

    LV2_URID_Map* mapFeatureData() noexcept { return &mapData_; }
    LV2_URID_Unmap* unmapFeatureData() noexcept { return &unmapData_; }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, LV2_URID> numbers_;
    // A deque never moves its elements, so the pointers unmap returns stay valid as the table grows.
    std::deque<std::string> uris_;
    LV2_URID_Map mapData_{};
    LV2_URID_Unmap unmapData_{};
};

} // namespace veltrane
