#pragma once

// The inspector column: a row of seven tab symbols and, below it, a scrolling panel with the controls of
// the chosen tab. It keeps only the chosen tab (starting at the instrument tab on every launch); every
// control reads the model and changes it through the model's operations.

#include "Veltrane/Views/Inspector/InspectorTab.hpp"

#include <QWidget>

#include <array>

class QAbstractButton;
class QButtonGroup;
class QScrollArea;

namespace veltrane {

class AppModel;
class InspectorPanel;

class InspectorView : public QWidget {
    Q_OBJECT

public:
    /// The column's width: at least, ideally and at most.
    static constexpr int minimumColumnWidth = 235;
    static constexpr int idealColumnWidth = 270;
    static constexpr int maximumColumnWidth = 330;

    explicit InspectorView(AppModel& model, QWidget* parent = nullptr);

    InspectorTab currentTab() const noexcept { return currentTab_; }
    void setCurrentTab(InspectorTab tab);

    /// The tab's panel; none for a tab not built yet.
    QWidget* panel(InspectorTab tab) const { return panels_[index(tab)]; }
    QAbstractButton* tabButton(InspectorTab tab) const;
    QScrollArea* scrollArea() const noexcept { return scroll_; }

    QSize sizeHint() const override;

signals:
    void currentTabChanged(veltrane::InspectorTab tab);

private:
    static std::size_t index(InspectorTab tab) { return static_cast<std::size_t>(tab); }

    AppModel& model_;
    InspectorTab currentTab_ = InspectorTab::instrument;
    QButtonGroup* tabs_;
    QScrollArea* scroll_;
    std::array<QWidget*, allInspectorTabs.size()> panels_{};
};

} // namespace veltrane
