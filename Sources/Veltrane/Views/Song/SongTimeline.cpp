#include "Veltrane/Views/Song/SongTimeline.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Song/SongTimelineView.hpp"

#include <QPainter>
#include <QVBoxLayout>

namespace veltrane {

SongTimeline::SongTimeline(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setObjectName(QStringLiteral("songTimeline"));
    setFixedHeight(stripHeight);
    view_ = new SongTimelineView(this);
    view_->onSelect = [this](int block) { model_.selectSongBlock(block); };
    view_->onMove = [this](int source, int destination) { model_.moveOrderFromTo(source, destination); };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(&model, &AppModel::projectChanged, this, &SongTimeline::refresh);
    connect(&model, &AppModel::selectedSongBlockChanged, this, &SongTimeline::refresh);
    refresh();
}

void SongTimeline::refresh()
{
    const Project& project = model_.project();
    SongArrangement song;
    if (project.arrangement) {
        song = *project.arrangement;
    } else {
        // Without a song the strip still shows where playing starts: one block of the first pattern.
        song.blocks.push_back(SongBlock{.pattern = 0, .repeats = 1});
    }
    view_->display(std::move(song), project.patterns, model_.selectedSongBlock());
}

void SongTimeline::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), withOpacity(Theme::current().panelBackground, 0.92));
}

} // namespace veltrane
