#include "VeltraneCore/Models/Pattern.hpp"

namespace veltrane {

Pattern::Pattern(std::string name, int rows, int channels)
    : name(std::move(name))
    , rows(rows)
    , channels(channels)
    , cells(rows, channels)
{
}

} // namespace veltrane
