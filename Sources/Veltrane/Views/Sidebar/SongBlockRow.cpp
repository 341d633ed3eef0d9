#include "Veltrane/Views/Sidebar/SongBlockRow.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Song/SongDisplay.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace veltrane {

namespace {

QToolButton* plainIconButton(const QString& symbol, const QString& title, const QString& help, QWidget* parent)
{
    QToolButton* button = makeIconButton(symbol, title, help, parent);
    setSymbol(button, symbol, Theme::current().secondaryLabel);
    button->setIconSize(QSize(12, 12));
    // Plain buttons are little more than their symbol, so seven of them fit the narrowest sidebar.
    button->setObjectName(QStringLiteral("plainButton"));
    return button;
}

} // namespace

SongBlockRow::SongBlockRow(AppModel& model, QWidget* parent) : SidebarRow(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("songBlockRow"));

    indexLabel_ = new QLabel(this);
    indexLabel_->setFont(theme.monospaced(12, QFont::Medium));
    setTextColour(indexLabel_, theme.tertiaryLabel);
    patternMenu_ = new QToolButton(this);
    patternMenu_->setObjectName(QStringLiteral("patternMenu"));
    patternMenu_->setPopupMode(QToolButton::InstantPopup);
    patternMenu_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The small chevron follows the pattern's name, as a borderless menu shows it.
    patternMenu_->setLayoutDirection(Qt::RightToLeft);
    setSymbol(patternMenu_, QStringLiteral("chevron.down"), theme.secondaryLabel);
    patternMenu_->setIconSize(QSize(8, 8));
    patternMenu_->setFont(theme.interface(12));
    // The chevron beside the name says it is a menu; the style's own arrow would sit under the name.
    patternMenu_->setStyleSheet(QStringLiteral("QToolButton { padding: 2px 4px; }"
                                               "QToolButton::menu-indicator { image: none; width: 0px; }"));
    patternMenu_->setFocusPolicy(Qt::NoFocus);
    patternMenu_->setMenu(new QMenu(patternMenu_));
    connect(patternMenu_->menu(), &QMenu::aboutToShow, this, &SongBlockRow::fillPatternMenu);
    repeats_ = new QLabel(this);
    repeats_->setObjectName(QStringLiteral("repeats"));
    repeats_->setFont(theme.monospaced(11));
    setTextColour(repeats_, theme.secondaryLabel);

    auto* blockLine = new QHBoxLayout;
    blockLine->setContentsMargins(0, 0, 0, 0);
    blockLine->setSpacing(6);
    blockLine->addWidget(indexLabel_);
    blockLine->addWidget(patternMenu_);
    blockLine->addStretch(1);
    blockLine->addWidget(repeats_);

    fewer_ = plainIconButton(QStringLiteral("minus"), QStringLiteral("Fewer repeats"), {}, this);
    more_ = plainIconButton(QStringLiteral("plus"), QStringLiteral("More repeats"), {}, this);
    up_ = plainIconButton(QStringLiteral("chevron.up"), QStringLiteral("Move block up"), {}, this);
    down_ = plainIconButton(QStringLiteral("chevron.down"), QStringLiteral("Move block down"), {}, this);
    marker_ = plainIconButton(QStringLiteral("flag"), QStringLiteral("Add marker"), QStringLiteral("Add marker"), this);
    remove_ = plainIconButton(QStringLiteral("xmark"), QStringLiteral("Remove block"), {}, this);
    connect(fewer_, &QToolButton::clicked, this, [this] { model_.setOrderRepeats(index_, repeatsShown_ - 1); });
    connect(more_, &QToolButton::clicked, this, [this] { model_.setOrderRepeats(index_, repeatsShown_ + 1); });
    connect(up_, &QToolButton::clicked, this, [this] { model_.moveOrder(index_, -1); });
    connect(down_, &QToolButton::clicked, this, [this] { model_.moveOrder(index_, 1); });
    connect(marker_, &QToolButton::clicked, this, [this] { model_.addSongMarker(index_); });
    connect(remove_, &QToolButton::clicked, this, [this] { model_.removeOrder(index_); });

    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(9);
    actions->addWidget(fewer_);
    actions->addWidget(more_);
    actions->addStretch(1);
    for (auto* button : {up_, down_, marker_, remove_}) actions->addWidget(button);

    markersLayout_ = new QVBoxLayout;
    markersLayout_->setContentsMargins(0, 0, 0, 0);
    markersLayout_->setSpacing(2);

    auto* column = new QVBoxLayout(this);
    // The row's own inset keeps its content clear of the rounded highlight drawn behind it.
    column->setContentsMargins(14, 4, 8, 4);
    column->setSpacing(5);
    column->addLayout(blockLine);
    column->addLayout(actions);
    column->addLayout(markersLayout_);
}

void SongBlockRow::display(const Project& project, int index, const SongBlock& block, int blockCount)
{
    index_ = index;
    repeatsShown_ = block.repeats;
    indexLabel_->setText(inspector::hex2(index));
    const QString name = blockPatternName(project.patterns, block.pattern);
    patternMenu_->setText(name);
    patternMenu_->setToolTip(name);
    repeats_->setText(repeatsText(block.repeats));
    fewer_->setEnabled(block.repeats > 1);
    up_->setEnabled(index > 0);
    down_->setEnabled(index < blockCount - 1);
    remove_->setEnabled(blockCount != 1);
    displayMarkers(markersOfBlock(project, index));
}

void SongBlockRow::fillPatternMenu()
{
    QMenu* menu = patternMenu_->menu();
    menu->clear();
    const Project& project = model_.project();
    const auto blocks = displayedSongBlocks(project);
    const int current = index_ < static_cast<int>(blocks.size()) ? blocks[static_cast<std::size_t>(index_)].pattern : -1;
    for (int p = 0; p < static_cast<int>(project.patterns.size()); ++p) {
        QAction* item = menu->addAction(QString::fromStdString(project.patterns[static_cast<std::size_t>(p)].name));
        if (p == current) {
            item->setIcon(symbolIcon(QStringLiteral("checkmark")));
            item->setProperty(symbolProperty, QStringLiteral("checkmark"));
        }
        const int block = index_;
        connect(item, &QAction::triggered, this, [this, block, p] { model_.setOrder(block, p); });
    }
}

void SongBlockRow::displayMarkers(const std::vector<SongMarker>& markers)
{
    const Theme& theme = Theme::current();
    std::vector<Uuid> order;
    for (const auto& marker : markers) order.push_back(marker.id);
    // Lines of markers that are gone go; the others stay, so a field being typed in keeps its focus.
    for (auto line = markerLines_.begin(); line != markerLines_.end();) {
        if (std::find(order.begin(), order.end(), line->first) == order.end()) {
            line->second.line->hide();
            line->second.line->deleteLater();
            markersLayout_->removeWidget(line->second.line);
            line = markerLines_.erase(line);
        } else {
            ++line;
        }
    }
    for (const auto& marker : markers) {
        auto found = markerLines_.find(marker.id);
        if (found == markerLines_.end()) {
            MarkerLine made;
            made.line = new QWidget(this);
            made.line->setObjectName(QStringLiteral("markerLine"));
            auto* icon = new inspector::SymbolView(QStringLiteral("flag.fill"), theme.orange, 12, made.line);
            made.name = new QLineEdit(made.line);
            made.name->setPlaceholderText(QStringLiteral("Marker"));
            made.name->setFrame(false);
            made.name->setFont(theme.interface(11));
            made.name->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
            const Uuid id = marker.id;
            connect(made.name, &QLineEdit::textEdited, this,
                    [this, id](const QString& text) { model_.renameSongMarker(id, text.toStdString()); });
            made.remove = plainIconButton(QStringLiteral("xmark.circle.fill"), QStringLiteral("Remove marker"), {}, made.line);
            connect(made.remove, &QToolButton::clicked, this, [this, id] { model_.removeSongMarker(id); });
            auto* layout = new QHBoxLayout(made.line);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSpacing(6);
            layout->addWidget(icon);
            layout->addWidget(made.name, 1);
            layout->addWidget(made.remove);
            found = markerLines_.emplace(marker.id, made).first;
        }
        const QString name = QString::fromStdString(marker.name);
        if (found->second.name->text() != name) found->second.name->setText(name);
    }
    if (order != markerOrder_) {
        for (const auto& id : order) markersLayout_->removeWidget(markerLines_[id].line);
        for (const auto& id : order) markersLayout_->addWidget(markerLines_[id].line);
        markerOrder_ = order;
    }
}

std::vector<QLineEdit*> SongBlockRow::markerFields() const
{
    std::vector<QLineEdit*> fields;
    for (const auto& id : markerOrder_) fields.push_back(markerLines_.at(id).name);
    return fields;
}

std::vector<QToolButton*> SongBlockRow::markerRemoveButtons() const
{
    std::vector<QToolButton*> buttons;
    for (const auto& id : markerOrder_) buttons.push_back(markerLines_.at(id).remove);
    return buttons;
}

} // namespace veltrane
