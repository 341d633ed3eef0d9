#pragma once

// The Modulation tab: buttons that add an LFO, an envelope or a macro, an empty state while the rack has
// no sources, and one card per source with its routes, in the rack's order.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include "VeltraneCore/Models/ModulationRack.hpp"

#include <vector>

class QPushButton;
class QVBoxLayout;

namespace veltrane {

namespace inspector {
class ModulationSourceCard;
} // namespace inspector

class ModulationPanel final : public InspectorPanel {
    Q_OBJECT

public:
    explicit ModulationPanel(AppModel& model, QWidget* parent = nullptr);

    QPushButton* addButton(ModulationSourceKind kind) const;
    QWidget* emptyState() const noexcept { return empty_; }
    const std::vector<inspector::ModulationSourceCard*>& cards() const noexcept { return cards_; }

protected:
    void showModel() override;

private:
    std::vector<QPushButton*> addButtons_;
    QWidget* empty_;
    QVBoxLayout* cardList_;
    std::vector<inspector::ModulationSourceCard*> cards_;
    /// What the cards were made for: each source's identifier and kind and its routes' identifiers.
    std::vector<std::vector<Uuid>> shape_;
};

} // namespace veltrane
