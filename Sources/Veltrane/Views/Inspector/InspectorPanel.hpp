#pragma once

// The base of every tab's panel. A panel shows the model and changes it only through its operations. It
// updates its controls in place whenever a model value it watches changes, so a control the user is
// working with keeps its focus; while hidden it only notes that it is stale and catches up when shown.

#include <QWidget>

namespace veltrane {

class AppModel;

class InspectorPanel : public QWidget {
    Q_OBJECT

public:
    explicit InspectorPanel(AppModel& model, QWidget* parent = nullptr);

    /// Brings every control in line with the model. Reports nothing to the model.
    void refresh();

protected:
    /// Shows the model's current values in the controls; called by `refresh`.
    virtual void showModel() = 0;

    /// Refreshes the panel whenever `signal` of the model is emitted.
    template <typename Signal>
    void watch(Signal signal)
    {
        connect(&model_, signal, this, &InspectorPanel::modelChanged);
    }

    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

    AppModel& model_;

private:
    void modelChanged();

    bool stale_ = true;
    bool updating_ = false;
};

} // namespace veltrane
