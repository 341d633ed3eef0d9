// What the inspector reads of the model beyond its observed state.

#include "Veltrane/Model/AppModel.hpp"

namespace veltrane {

std::pair<int, int> AppModel::midiEndpointCounts() const { return midiEndpointCounts_(); }

} // namespace veltrane
