#pragma once

// What the inspector's widget tests share: one application for the process, an English locale, a model
// over the test services, and the inspector shown offscreen on a chosen tab.

#include "ModelTestSupport.hpp"

#include "Veltrane/Views/Inspector/InspectorView.hpp"
#include "Veltrane/Views/Inspector/InstrumentPanel.hpp"
#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include <QApplication>
#include <QComboBox>
#include <QLayout>
#include <QLocale>
#include <QTest>

#include <memory>

namespace veltrane::testing {

inline void ensureApplication()
{
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "VeltraneAppTests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own exit-time objects (the pointing device the key and mouse
    // simulation made) outlive a static application and crash the program after every test passed.
    new QApplication(argc, argv);
    // Numbers are pinned to one locale so the expected texts do not depend on the machine.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

/// A model whose pattern 0 is empty (64 × 8), with the inspector shown on `tab`.
class InspectorHarness {
public:
    explicit InspectorHarness(InspectorTab tab)
    {
        ensureApplication();
        auto& made = harness.make();
        Project project = made.project();
        project.patterns[0] = Pattern("Pattern 1", 64, 8);
        made.setProject(std::move(project));
        made.setPatternIndex(0);
        view = std::make_unique<InspectorView>(made, nullptr);
        view->resize(InspectorView::idealColumnWidth, 900);
        view->setCurrentTab(tab);
        view->show();
        QApplication::processEvents();
    }

    AppModel& model() { return *harness.model; }
    /// The panel of `tab`, as its own type.
    template <typename Panel>
    Panel& panel(InspectorTab tab)
    {
        return *static_cast<Panel*>(view->panel(tab));
    }
    const Cell& cell(int row, int track) const { return harness.model->project().patterns[0].cell(row, track); }
    void setCell(int row, int track, Cell cell) { editCell(*harness.model, row, track, std::move(cell)); }

    ModelHarness harness;
    std::unique_ptr<InspectorView> view;
};

/// The Instrument tab over `instruments`, the first one selected.
struct InstrumentInspector : InspectorHarness {
    explicit InstrumentInspector(std::vector<Instrument> instruments)
        : InspectorHarness(InspectorTab::instrument)
    {
        Project project = model().project();
        project.instruments = std::move(instruments);
        model().setProject(std::move(project));
        model().setSelectedInstrument(0);
    }
    InstrumentPanel& panel() { return InspectorHarness::panel<InstrumentPanel>(InspectorTab::instrument); }
    const Instrument& instrument(int index) { return model().project().instruments.at(static_cast<std::size_t>(index)); }
};

/// What a drag or a key press reports: the slider's change at `value`.
inline void report(inspector::ValueSlider* slider, double value)
{
    ASSERT_NE(slider, nullptr);
    ASSERT_TRUE(slider->onChange);
    slider->onChange(value);
}

/// Where `widget` stands among the items of its parent's layout, top to bottom.
inline int layoutPosition(QWidget* widget)
{
    return widget && widget->parentWidget() && widget->parentWidget()->layout()
               ? widget->parentWidget()->layout()->indexOf(widget)
               : -1;
}

/// Chooses the item with `text` as a choice from the popup list does.
inline void choose(QComboBox* picker, const QString& text)
{
    ASSERT_NE(picker, nullptr);
    const int index = picker->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    picker->setCurrentIndex(index);
    emit picker->activated(index);
}

} // namespace veltrane::testing
