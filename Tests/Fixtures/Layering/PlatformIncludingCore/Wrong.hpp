#pragma once

// A platform header that reaches into the document: the layering check must refuse it.

#include "VeltranePlatform/Audio/AudioBuffer.hpp"
#  include "VeltraneCore/Models/Project.hpp"
