#pragma once

// Two doubles worked on by one vector instruction each: the left and right channel of a frame, or two
// frames of one signal. GCC and Clang vector types, which compile to SSE2 on any x86-64 (and to NEON on
// ARM); arithmetic and comparisons work lane by lane, with the very rounding of scalar code.

namespace veltrane {

using DoubleLanes = double __attribute__((vector_size(16)));

} // namespace veltrane
