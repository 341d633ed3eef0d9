// Feeds arbitrary bytes to the MIDI byte-stream parser, cut into deliveries where the input says so.
// Events must not depend on how the stream is cut, every value an event carries must lie in its data
// bytes' range, and nothing may trip a sanitizer. Regression inputs live in
// Tests/Fixtures/Fuzz/MIDIStreamParser/.

#include "VeltraneCore/MIDIRealtime/MIDIStreamParser.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void check(const veltrane::MIDIStreamEvent& event)
{
    using namespace veltrane;
    if (auto on = std::get_if<MIDINoteOnEvent>(&event)) {
        if (on->note < 0 || on->note > 127 || on->velocity < 1 || on->velocity > 127) std::abort();
    } else if (auto off = std::get_if<MIDINoteOffEvent>(&event)) {
        if (off->note < 0 || off->note > 127) std::abort();
    } else if (auto position = std::get_if<MIDISongPositionEvent>(&event)) {
        if (position->position < 0 || position->position > 16383) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // The first byte seeds where the stream is cut: each delivery is 1 to 8 bytes long.
    const std::uint8_t seed = data[0];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    veltrane::MIDIStreamParser whole;
    std::vector<veltrane::MIDIStreamEvent> expected;
    whole.consume(stream, [&](const veltrane::MIDIStreamEvent& event) {
        check(event);
        expected.push_back(event);
    });

    veltrane::MIDIStreamParser cut;
    std::size_t next = 0;
    std::size_t at = 0;
    unsigned state = seed;
    while (at < stream.size()) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = std::min<std::size_t>(stream.size() - at, 1 + (state >> 16) % 8);
        cut.consume(stream.subspan(at, length), [&](const veltrane::MIDIStreamEvent& event) {
            if (next >= expected.size() || !(expected[next] == event)) std::abort();
            ++next;
        });
        at += length;
    }
    if (next != expected.size() || !(cut == whole)) std::abort();
    return 0;
}
