#pragma once

#include "VeltraneCore/Models/Waveform.hpp"

namespace veltrane {

/// One operator of the two-operator FM voice.
struct FMOperator {
    double ratio = 1;      // frequency ratio to the note, 0.25 to 8
    Waveform waveform = Waveform::sine;
    double fine = 0;       // fine tune in cents, -100 to 100

    friend bool operator==(const FMOperator&, const FMOperator&) = default;
};

/// A new setting starts at amount 0.3, while the parameter table's default for the FM amount target is
/// 0.5: the two serve different purposes and both stand.
struct FMSettings {
    double amount = 0.3; // modulation depth, 0 to 1
    FMOperator carrier;
    FMOperator modulator;

    friend bool operator==(const FMSettings&, const FMSettings&) = default;
};

} // namespace veltrane
