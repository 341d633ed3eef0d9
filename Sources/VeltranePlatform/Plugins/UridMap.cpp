#include "VeltranePlatform/Plugins/UridMap.hpp"

namespace veltrane {

UridMap::UridMap()
{
    mapData_.handle = this;
    mapData_.map = [](LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID {
        return uri ? static_cast<UridMap*>(handle)->map(uri) : 0;
    };
    unmapData_.handle = this;
    unmapData_.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) -> const char* {
        return static_cast<const UridMap*>(handle)->unmap(urid);
    };
}

LV2_URID UridMap::map(std::string_view uri)
{
    std::lock_guard lock(mutex_);
    std::string key(uri);
    if (const auto found = numbers_.find(key); found != numbers_.end())
        return found->second;
    uris_.push_back(key);
    const auto urid = static_cast<LV2_URID>(uris_.size());
    numbers_.emplace(std::move(key), urid);
    return urid;
}

const char* UridMap::unmap(LV2_URID urid) const
{
    std::lock_guard lock(mutex_);
    if (urid == 0 || urid > uris_.size())
        return nullptr;
    return uris_[urid - 1].c_str();
}

} // namespace veltrane
