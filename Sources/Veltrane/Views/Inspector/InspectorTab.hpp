#pragma once

// The inspector's seven tabs, in the order of the picker.

#include <array>
#include <string_view>

namespace veltrane {

enum class InspectorTab { cell, instrument, samples, mixer, modulation, tools, master };

inline constexpr std::array<InspectorTab, 7> allInspectorTabs{
    InspectorTab::cell,       InspectorTab::instrument, InspectorTab::samples, InspectorTab::mixer,
    InspectorTab::modulation, InspectorTab::tools,      InspectorTab::master,
};

/// The tab's title: its tooltip and its accessible name.
inline constexpr std::string_view title(InspectorTab tab)
{
    switch (tab) {
    case InspectorTab::cell: return "Cell";
    case InspectorTab::instrument: return "Instrument";
    case InspectorTab::samples: return "Samples";
    case InspectorTab::mixer: return "Mixer";
    case InspectorTab::modulation: return "Modulation";
    case InspectorTab::tools: return "Tools";
    case InspectorTab::master: return "Master";
    }
    return "Cell";
}

/// The name of the tab's symbol (see SymbolIcon.hpp).
inline constexpr std::string_view symbol(InspectorTab tab)
{
    switch (tab) {
    case InspectorTab::cell: return "square.grid.3x3";
    case InspectorTab::instrument: return "pianokeys";
    case InspectorTab::samples: return "waveform";
    case InspectorTab::mixer: return "slider.horizontal.3";
    case InspectorTab::modulation: return "point.3.connected.trianglepath.dotted";
    case InspectorTab::tools: return "wrench.and.screwdriver";
    case InspectorTab::master: return "speaker.wave.3";
    }
    return "square.grid.3x3";
}

} // namespace veltrane
