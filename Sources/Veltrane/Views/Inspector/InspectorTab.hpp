#pragma once

// The inspector's seven tabs, in the order of the picker.

#include "Veltrane/Views/Inspector/InspectorIcons.hpp"

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

inline constexpr inspector::Symbol symbol(InspectorTab tab)
{
    switch (tab) {
    case InspectorTab::cell: return inspector::Symbol::cellGrid;
    case InspectorTab::instrument: return inspector::Symbol::pianoKeys;
    case InspectorTab::samples: return inspector::Symbol::waveform;
    case InspectorTab::mixer: return inspector::Symbol::sliders;
    case InspectorTab::modulation: return inspector::Symbol::modulation;
    case InspectorTab::tools: return inspector::Symbol::tools;
    case InspectorTab::master: return inspector::Symbol::speaker;
    }
    return inspector::Symbol::cellGrid;
}

} // namespace veltrane
