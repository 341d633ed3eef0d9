#include "Veltrane/Views/Sidebar/Sidebar.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Sidebar/SidebarList.hpp"
#include "Veltrane/Views/Sidebar/SidebarRow.hpp"
#include "Veltrane/Views/Sidebar/SongBlockRow.hpp"
#include "Veltrane/Views/Song/SongDisplay.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane {

namespace {

/// Where the text of a row starts: clear of the rounded highlight drawn 6 pixels inside the column.
constexpr int rowTextInset = 14;

/// A section heading whose text lines up with the text of the rows below it.
QLabel* sidebarHeading(const QString& text, QWidget* parent)
{
    QLabel* heading = inspector::sectionTitle(text, parent);
    heading->setContentsMargins(rowTextInset, 10, 10, 0);
    return heading;
}

/// Takes a row out of its list. It goes later, not now: the press that removed it may still be running
/// in one of its buttons.
void retire(QWidget* row)
{
    row->hide();
    if (auto* parent = row->parentWidget(); parent && parent->layout()) parent->layout()->removeWidget(row);
    row->deleteLater();
}

} // namespace

Sidebar::Sidebar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setObjectName(QStringLiteral("sidebarContent"));
    setStyleSheet(barButtonStyle() + QStringLiteral("QToolButton#plainButton { padding: 2px; min-height: 14px; }"));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(sidebarHeading(QStringLiteral("PATTERNS"), this));
    patternList_ = new SidebarList(QStringLiteral("patternList"), this);
    patternRowsLayout_ = patternList_->rows();
    // The keys move on from a pattern picked while playing, so a run of presses walks the mark along
    // instead of choosing the row below the playing pattern again and again.
    patternList_->chooseWithKeys([this] { return model_.queuedPatternIndex().value_or(model_.patternIndex()); },
                                 [this](int index) { model_.selectPattern(index); });
    column->addWidget(patternList_, 1);
    column->addWidget(buildPatternButtons());
    column->addWidget(inspector::divider(this));
    column->addWidget(buildSongHeader());
    auto* blockList = new SidebarList(QStringLiteral("blockList"), this);
    blockRowsLayout_ = blockList->rows();
    column->addWidget(blockList, 2);
    column->addWidget(buildLoopSection());

    for (auto signal : {&AppModel::projectChanged, &AppModel::patternIndexChanged, &AppModel::queuedPatternIndexChanged})
        connect(&model, signal, this, &Sidebar::refreshPatterns);
    for (auto signal : {&AppModel::projectChanged, &AppModel::selectedSongBlockChanged})
        connect(&model, signal, this, &Sidebar::refreshSong);
    refreshPatterns();
    refreshSong();
}

QWidget* Sidebar::buildPatternButtons()
{
    auto* bar = new QWidget(this);
    newPattern_ = makeIconButton(QStringLiteral("plus"), QStringLiteral("New pattern"), QStringLiteral("New pattern"), bar);
    clonePattern_ = makeIconButton(QStringLiteral("plus.square.on.square"), QStringLiteral("Clone pattern"),
                                   QStringLiteral("Clone pattern"), bar);
    deletePattern_ = makeIconButton(QStringLiteral("trash"), QStringLiteral("Delete pattern"), QStringLiteral("Delete pattern"), bar);
    // Deleting cannot be taken back by the button that did it: it is drawn in the destructive colour.
    setSymbol(deletePattern_, QStringLiteral("trash"), Theme::current().red);
    for (auto* button : {newPattern_, clonePattern_, deletePattern_}) button->setObjectName(QStringLiteral("borderedButton"));
    bar->setStyleSheet(QStringLiteral("QToolButton#borderedButton { background: rgba(255, 255, 255, 22); }"
                                      "QToolButton#borderedButton:hover { background: rgba(255, 255, 255, 36); }"
                                      "QToolButton#borderedButton:disabled { background: rgba(255, 255, 255, 10); }"));
    connect(newPattern_, &QToolButton::clicked, this, [this] { model_.newPattern(false); });
    connect(clonePattern_, &QToolButton::clicked, this, [this] { model_.newPattern(true); });
    connect(deletePattern_, &QToolButton::clicked, this, [this] { model_.deletePattern(); });
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(newPattern_);
    layout->addWidget(clonePattern_);
    layout->addStretch(1);
    layout->addWidget(deletePattern_);
    return bar;
}

QWidget* Sidebar::buildSongHeader()
{
    auto* header = new QWidget(this);
    addBlock_ = makeIconButton(QStringLiteral("plus"), QStringLiteral("Add song block"), QStringLiteral("Add song block"), header);
    duplicateBlock_ = makeIconButton(QStringLiteral("plus.square.on.square"), QStringLiteral("Duplicate selected block"),
                                     QStringLiteral("Duplicate selected block"), header);
    connect(addBlock_, &QToolButton::clicked, this, [this] { model_.addOrder(); });
    connect(duplicateBlock_, &QToolButton::clicked, this, [this] { model_.duplicateOrder(model_.selectedSongBlock()); });
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 10, 0);
    layout->addWidget(sidebarHeading(QStringLiteral("SONG"), header), 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(addBlock_, 0, Qt::AlignBottom);
    layout->addWidget(duplicateBlock_, 0, Qt::AlignBottom);
    return header;
}

QWidget* Sidebar::buildLoopSection()
{
    loopSection_ = new QWidget(this);
    loopSection_->setObjectName(QStringLiteral("loopSection"));
    loopToggle_ = inspector::checkBox(QString(), loopSection_);
    // Only the user's click asks the model; showing the model's value must not.
    connect(loopToggle_, &QCheckBox::clicked, this,
            [this](bool on) { model_.setSongLoop(std::nullopt, std::nullopt, on); });
    setStart_ = makeTextButton(QStringLiteral("Set Start"), loopSection_);
    setEnd_ = makeTextButton(QStringLiteral("Set End"), loopSection_);
    for (auto* button : {setStart_, setEnd_}) {
        button->setFont(Theme::current().interface(11));
        button->setObjectName(QStringLiteral("smallButton"));
    }
    loopSection_->setStyleSheet(QStringLiteral("QToolButton#smallButton { background: rgba(255, 255, 255, 22); padding: 2px 8px; }"
                                               "QToolButton#smallButton:hover { background: rgba(255, 255, 255, 36); }"));
    connect(setStart_, &QToolButton::clicked, this, [this] { model_.setSongLoop(model_.selectedSongBlock(), std::nullopt, std::nullopt); });
    connect(setEnd_, &QToolButton::clicked, this, [this] { model_.setSongLoop(std::nullopt, model_.selectedSongBlock(), std::nullopt); });
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(setStart_);
    buttons->addWidget(setEnd_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(loopSection_);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(loopToggle_);
    layout->addLayout(buttons);
    return loopSection_;
}

void Sidebar::refreshPatterns()
{
    const Theme& theme = Theme::current();
    const auto& patterns = model_.project().patterns;
    const int count = static_cast<int>(patterns.size());
    while (static_cast<int>(patternRows_.size()) > count) {
        retire(patternRows_.back().row);
        patternRows_.pop_back();
    }
    while (static_cast<int>(patternRows_.size()) < count) {
        const int index = static_cast<int>(patternRows_.size());
        PatternRow made;
        made.row = new SidebarRow(patternRowsLayout_->parentWidget());
        made.row->setObjectName(QStringLiteral("patternRow"));
        made.index = new QLabel(inspector::hex2(index), made.row);
        made.index->setFont(theme.monospaced(12, QFont::Medium));
        setTextColour(made.index, theme.secondaryLabel);
        made.name = new QLabel(made.row);
        made.name->setFont(theme.interface(13));
        made.queued = new inspector::SymbolView(QStringLiteral("clock.arrow.circlepath"), theme.accent, 14, made.row);
        made.queued->setToolTip(QStringLiteral("Picked while playing"));
        auto* layout = new QHBoxLayout(made.row);
        layout->setContentsMargins(rowTextInset, 5, rowTextInset, 5);
        layout->addWidget(made.index);
        layout->addWidget(made.name, 1);
        layout->addWidget(made.queued);
        connect(made.row, &SidebarRow::pressed, this, [this, index] { model_.selectPattern(index); });
        patternRowsLayout_->insertWidget(index, made.row);
        patternRows_.push_back(made);
    }
    const auto queued = model_.queuedPatternIndex();
    for (int i = 0; i < count; ++i) {
        const PatternRow& row = patternRows_[static_cast<std::size_t>(i)];
        row.name->setText(QString::fromStdString(patterns[static_cast<std::size_t>(i)].name));
        row.row->setHighlighted(i == model_.patternIndex());
        row.queued->setVisible(queued == i);
    }
    deletePattern_->setEnabled(count >= 2);
}

void Sidebar::refreshSong()
{
    const Project& project = model_.project();
    const auto blocks = displayedSongBlocks(project);
    const int count = static_cast<int>(blocks.size());
    while (static_cast<int>(blockRows_.size()) > count) {
        retire(blockRows_.back());
        blockRows_.pop_back();
    }
    while (static_cast<int>(blockRows_.size()) < count) {
        auto* row = new SongBlockRow(model_, blockRowsLayout_->parentWidget());
        const int index = static_cast<int>(blockRows_.size());
        connect(row, &SidebarRow::pressed, this, [this, index] { model_.selectSongBlock(index); });
        blockRowsLayout_->insertWidget(index, row);
        blockRows_.push_back(row);
    }
    const QColor loopTint = withOpacity(Theme::current().accent, 0.1);
    for (int i = 0; i < count; ++i) {
        SongBlockRow* row = blockRows_[static_cast<std::size_t>(i)];
        row->display(project, i, blocks[static_cast<std::size_t>(i)], count);
        row->setHighlighted(i == model_.selectedSongBlock());
        row->setTint(blockInLoop(project, i) ? loopTint : QColor(Qt::transparent));
    }
    loopSection_->setVisible(project.arrangement.has_value());
    if (project.arrangement) {
        const auto& loop = project.arrangement->loop;
        loopToggle_->setText(QStringLiteral("Loop section ") + loopRangeText(loop));
        loopToggle_->setChecked(loop.enabled);
    }
}

} // namespace veltrane
