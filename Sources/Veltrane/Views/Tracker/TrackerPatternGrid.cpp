#include "Veltrane/Views/Tracker/TrackerPatternGrid.hpp"

#include "Veltrane/Model/AppModel.hpp"

namespace veltrane {

TrackerPatternGrid::TrackerPatternGrid(AppModel& model, QWidget* parent) : PatternGridView(parent), model_(model)
{
    setPlaybackState(&model.playbackUI());
    onSelect = [this](int row, int track, CellField field, bool extending) {
        model_.select(row, track, field, extending);
    };
    onKey = [this](const KeyPress& key) { model_.handleKey(key); };
    for (auto signal : {&AppModel::projectChanged, &AppModel::patternIndexChanged, &AppModel::selectedRowChanged,
                        &AppModel::selectedTrackChanged, &AppModel::selectedFieldChanged,
                        &AppModel::selectionAnchorChanged, &AppModel::rowZoomChanged}) {
        connect(&model, signal, this, &TrackerPatternGrid::refresh);
    }
    refresh();
    startPlaybackUpdates();
}

GridContent TrackerPatternGrid::contentFor(const AppModel& model)
{
    GridContent content;
    const auto& patterns = model.project().patterns;
    const int index = model.patternIndex();
    if (index >= 0 && index < static_cast<int>(patterns.size())) content.pattern = patterns[static_cast<std::size_t>(index)];
    content.selectedRow = model.selectedRow();
    content.selectedTrack = model.selectedTrack();
    content.selectedField = model.selectedField();
    content.selection = model.selection();
    content.meters.clear(); // the tracker's header shows no levels
    content.rowZoom = model.rowZoom();
    return content;
}

void TrackerPatternGrid::refresh() { show(contentFor(model_)); }

} // namespace veltrane
