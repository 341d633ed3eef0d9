#pragma once

// The project's control signals: sources (tempo-synced LFOs, envelopes that run from a note's start,
// constant macros) and routes from a source to a parameter target with a signed amount in the target's
// 0-to-1 form, optionally only on one track and for one instrument.
//
// Every source keeps all eleven fields whatever its kind; the fields its kind does not use are kept and
// saved unchanged. Values are stored as given: the loader repairs them, the signal rules read them
// clamped. The initial values below are those of a source the user adds.

#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/Models/RawValue.hpp"
#include "VeltraneCore/Models/Uuid.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

enum class ModulationSourceKind : std::uint8_t { lfo, envelope, macro };

inline constexpr std::array<ModulationSourceKind, 3> allModulationSourceKinds{
    ModulationSourceKind::lfo, ModulationSourceKind::envelope, ModulationSourceKind::macro};

/// "LFO", "Envelope" or "Macro".
std::string_view toRawValue(ModulationSourceKind kind);
template <>
std::optional<ModulationSourceKind> fromRawValue<ModulationSourceKind>(std::string_view rawValue);

/// The shape of an LFO; unlike the instrument `Waveform` it has a fifth shape, `random`.
enum class ModulationWaveform : std::uint8_t { sine, triangle, saw, square, random };

inline constexpr std::array<ModulationWaveform, 5> allModulationWaveforms{
    ModulationWaveform::sine, ModulationWaveform::triangle, ModulationWaveform::saw, ModulationWaveform::square,
    ModulationWaveform::random};

/// The case name: "sine", "triangle", "saw", "square" or "random".
std::string_view toRawValue(ModulationWaveform waveform);
template <>
std::optional<ModulationWaveform> fromRawValue<ModulationWaveform>(std::string_view rawValue);

struct ModulationSource {
    Uuid id = Uuid::random();
    std::string name;
    ModulationSourceKind kind = ModulationSourceKind::lfo;
    ModulationWaveform waveform = ModulationWaveform::sine; // LFO only
    double rateBeats = 1;    // LFO only: one cycle in beats; below 1/64 acts as 1/64
    double phase = 0;        // LFO only: offset in cycles
    double attack = 0.01;    // envelope only, seconds
    double decay = 0.2;      // envelope only, seconds
    double sustain = 0.7;    // envelope only, level 0 to 1
    double release = 0.3;    // envelope only, seconds; below 0.001 acts as 0.001
    double macroValue = 0.5; // macro only, read clamped to 0 to 1

    friend bool operator==(const ModulationSource&, const ModulationSource&) = default;
};

struct ModulationRoute {
    Uuid id = Uuid::random();
    Uuid sourceID;
    ParameterTarget target = ParameterTarget::instrumentVolume;
    double amount = 0;              // in the target's 0-to-1 units, read clamped to -1 to 1
    std::optional<int> track;       // only this track (channel index); absent: every track
    std::optional<int> instrument;  // only notes of this instrument index; absent: every instrument

    friend bool operator==(const ModulationRoute&, const ModulationRoute&) = default;
};

/// A route whose source is missing contributes nothing; when two sources share an identifier, routes
/// use the first.
struct ModulationRack {
    std::vector<ModulationSource> sources;
    std::vector<ModulationRoute> routes;

    /// The first source with this identifier, if any.
    const ModulationSource* source(const Uuid& id) const;

    friend bool operator==(const ModulationRack&, const ModulationRack&) = default;
};

/// The sources of a rack by identifier, for looking up the sources of many routes at once: `source(id)`
/// searches the list, which for every route of a large rack would grow with the square of its size. Built
/// in n log n; each look-up is a binary search (an identifier a file chose cannot make it slower). It
/// points into the rack, which must outlive it with its sources unchanged.
class ModulationSourceIndex {
public:
    explicit ModulationSourceIndex(const ModulationRack& rack);

    /// The first source of the rack with this identifier, as `ModulationRack::source` gives it.
    const ModulationSource* find(const Uuid& id) const;

private:
    // By identifier, and sources sharing one in the rack's order.
    std::vector<const ModulationSource*> sources_;
};

} // namespace veltrane
