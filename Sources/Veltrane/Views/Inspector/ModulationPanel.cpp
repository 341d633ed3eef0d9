#include "Veltrane/Views/Inspector/ModulationPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Inspector/FlowLayout.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/ModulationSourceCard.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltrane {

using namespace inspector;

namespace {

std::vector<ModulationRoute> routesOf(const ModulationRack& rack, const Uuid& source)
{
    std::vector<ModulationRoute> routes;
    for (const auto& route : rack.routes)
        if (route.sourceID == source) routes.push_back(route);
    return routes;
}

QWidget* makeEmptyState(QWidget* parent)
{
    auto* empty = new QWidget(parent);
    empty->setMinimumHeight(160);
    auto* column = new QVBoxLayout(empty);
    column->addStretch(1);
    column->addWidget(new SymbolView(QStringLiteral("point.3.connected.trianglepath.dotted"), secondaryTextColor(*empty), 36, empty),
                      0, Qt::AlignHCenter);
    auto* title = new QLabel(QStringLiteral("No Modulators"), empty);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() > 0 ? bold.pointSizeF() * 1.2 : bold.pointSizeF());
    title->setFont(bold);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* description = captionLabel(QStringLiteral("Add an LFO, envelope or macro. Bus controls are continuous; sound "
                                                     "controls marked Note Start update on each note."),
                                      empty);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    column->addWidget(description);
    column->addStretch(1);
    return empty;
}

} // namespace

ModulationPanel::ModulationPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , empty_(makeEmptyState(this))
    , cardList_(new QVBoxLayout)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);
    column->addWidget(sectionTitle(QStringLiteral("MODULAR MODULATION"), this));
    auto* buttons = new FlowLayout;
    const std::pair<ModulationSourceKind, const char*> kinds[] = {
        {ModulationSourceKind::lfo, "+ LFO"}, {ModulationSourceKind::envelope, "+ ENV"}, {ModulationSourceKind::macro, "+ Macro"}};
    for (const auto& [kind, title] : kinds) {
        auto* button = new QPushButton(QString::fromUtf8(title), this);
        QFont small = button->font();
        if (small.pointSizeF() > 0) small.setPointSizeF(small.pointSizeF() * 0.9);
        button->setFont(small);
        fitToText(button);
        connect(button, &QPushButton::clicked, this, [this, kind] { model_.addModulationSource(kind); });
        addButtons_.push_back(button);
        buttons->addWidget(button);
    }
    column->addLayout(buttons);
    column->addWidget(empty_);
    cardList_->setContentsMargins(0, 0, 0, 0);
    cardList_->setSpacing(itemSpacing);
    column->addLayout(cardList_);
    column->addStretch(1);

    watch(&AppModel::projectChanged);
}

QPushButton* ModulationPanel::addButton(ModulationSourceKind kind) const
{
    return addButtons_.at(static_cast<std::size_t>(kind));
}

void ModulationPanel::showModel()
{
    const ModulationRack rack = model_.project().modulation.value_or(ModulationRack{});
    empty_->setVisible(rack.sources.empty());

    std::vector<std::vector<Uuid>> shape;
    for (const auto& source : rack.sources) {
        Uuid kind; // the kind chooses the card's controls, so a changed kind makes a new card
        kind.bytes[0] = static_cast<std::uint8_t>(source.kind);
        std::vector<Uuid> ids{source.id, kind};
        for (const auto& route : routesOf(rack, source.id)) ids.push_back(route.id);
        shape.push_back(std::move(ids));
    }
    if (shape != shape_) {
        // Cards are made again only when sources or routes come, go or move, so a card being edited
        // keeps its fields and their focus.
        shape_ = std::move(shape);
        for (auto* card : cards_) {
            cardList_->removeWidget(card);
            card->hide();
            card->deleteLater();
        }
        cards_.clear();
        for (const auto& source : rack.sources) {
            auto* card = new ModulationSourceCard(model_, source, routesOf(rack, source.id), this);
            cardList_->addWidget(card);
            cards_.push_back(card);
        }
        return;
    }
    for (std::size_t i = 0; i < cards_.size(); ++i)
        cards_[i]->showSource(rack.sources[i], routesOf(rack, rack.sources[i].id));
}

} // namespace veltrane
