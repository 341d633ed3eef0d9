#pragma once

// Every editing operation on a pattern's cells, for callers that use several.

#include "VeltraneCore/PatternOperations/PatternClipboard.hpp"
#include "VeltraneCore/PatternOperations/PatternDynamics.hpp"
#include "VeltraneCore/PatternOperations/PatternGenerators.hpp"
#include "VeltraneCore/PatternOperations/PatternTransforms.hpp"
