#pragma once

// One modulation source of the rack: its name, the controls of its kind (an LFO's wave, rate and phase,
// an envelope's stages, a macro's value), its routes with their destinations and amounts, and a menu
// that adds a route. Every change is a model operation on the source or route, found by identifier.

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include "VeltraneCore/Models/ModulationRack.hpp"

#include <vector>

class QComboBox;
class QLineEdit;
class QToolButton;
class QVBoxLayout;

namespace veltrane {

class AppModel;

namespace inspector {

class ContinuousSlider;
class ValueSlider;

class ModulationSourceCard : public RoundedBox {
    Q_OBJECT

public:
    /// A card for `source` with one row per route; `routes` are the rack's routes of this source.
    ModulationSourceCard(AppModel& model, const ModulationSource& source, const std::vector<ModulationRoute>& routes,
                         QWidget* parent = nullptr);

    /// Shows the values of `source` and its routes, which must be the ones the card was made for.
    void showSource(const ModulationSource& source, const std::vector<ModulationRoute>& routes);

    struct RouteRow {
        Uuid id;
        QComboBox* destination = nullptr;
        QLabel* scope = nullptr;
        ContinuousSlider* amount = nullptr;
        QToolButton* remove = nullptr;
    };

    QLineEdit* nameField() const noexcept { return name_; }
    QToolButton* removeButton() const noexcept { return remove_; }
    QComboBox* wavePicker() const noexcept { return wave_; }
    /// The kind's sliders, in order.
    const std::vector<ValueSlider*>& sliders() const noexcept { return sliders_; }
    const std::vector<RouteRow>& routeRows() const noexcept { return routeRows_; }
    QToolButton* addDestinationButton() const noexcept { return addDestination_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RouteRow makeRouteRow(const ModulationRoute& route, QVBoxLayout* column);

    AppModel& model_;
    Uuid id_;
    QLineEdit* name_;
    QToolButton* remove_;
    QComboBox* wave_ = nullptr;
    std::vector<ValueSlider*> sliders_;
    std::vector<RouteRow> routeRows_;
    QToolButton* addDestination_;
};

/// "Track 2 · Continuous", "Instrument 1 · Note Start" or "Global · Continuous".
QString routeScopeText(const ModulationRoute& route);

} // namespace inspector
} // namespace veltrane
