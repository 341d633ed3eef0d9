#include "Veltrane/Views/Inspector/ModulationSourceCard.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane::inspector {

namespace {

// Rounder than the inspector's other groups: a card stands for a whole source with its routes.
constexpr double cardCornerRadius = 10;

QString kindSymbol(ModulationSourceKind kind)
{
    switch (kind) {
    case ModulationSourceKind::lfo: return QStringLiteral("waveform.path");
    case ModulationSourceKind::envelope: return QStringLiteral("chart.line.uptrend.xyaxis");
    case ModulationSourceKind::macro: return QStringLiteral("dial.medium");
    }
    return QStringLiteral("waveform.path");
}

/// A slider of the kind's controls: title, range, keyboard step and the field it shows and sets.
struct KindSlider {
    const char* title;
    SliderRange range;
    double step;
    double ModulationSource::*field;
};

std::vector<KindSlider> kindSliders(ModulationSourceKind kind)
{
    switch (kind) {
    case ModulationSourceKind::lfo:
        return {{"Rate \u00B7 beats", {0.0625, 16}, 0.0625, &ModulationSource::rateBeats},
                {"Phase", {0, 1}, 0.01, &ModulationSource::phase}};
    case ModulationSourceKind::envelope:
        return {{"Attack", {0, 5}, 0.01, &ModulationSource::attack},
                {"Decay", {0, 5}, 0.01, &ModulationSource::decay},
                {"Sustain", {0, 1}, 0.01, &ModulationSource::sustain},
                {"Release", {0.001, 8}, 0.01, &ModulationSource::release}};
    case ModulationSourceKind::macro: return {{"Macro", {0, 1}, 0.01, &ModulationSource::macroValue}};
    }
    return {};
}

const QColor accent(0x0a, 0x84, 0xff);

} // namespace

QString routeScopeText(const ModulationRoute& route)
{
    QString scope = route.track ? QStringLiteral("Track ") + QString::number(*route.track + 1)
                    : route.instrument ? QStringLiteral("Instrument ") + QString::number(*route.instrument + 1)
                                       : QStringLiteral("Global");
    return scope + QStringLiteral(" \u00B7 ") +
           (isContinuousModulation(route.target) ? QStringLiteral("Continuous") : QStringLiteral("Note start"));
}

ModulationSourceCard::ModulationSourceCard(AppModel& model, const ModulationSource& source,
                                           const std::vector<ModulationRoute>& routes, QWidget* parent)
    : RoundedBox(0.05, parent, cardCornerRadius)
    , model_(model)
    , id_(source.id)
    , name_(new QLineEdit(this))
    , remove_(new QToolButton(this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(9);

    auto* header = new QHBoxLayout;
    auto* icon = new SymbolView(kindSymbol(source.kind), accent, 18, this);
    icon->setAccessibleName(qString(toRawValue(source.kind)));
    header->addWidget(icon);
    name_->setPlaceholderText(QStringLiteral("Name"));
    name_->setAccessibleName(QStringLiteral("Name"));
    QFont headline = name_->font();
    headline.setBold(true);
    name_->setFont(headline);
    header->addWidget(name_, 1);
    setSymbol(remove_, QStringLiteral("trash"), secondaryTextColor(*this));
    remove_->setAutoRaise(true);
    remove_->setToolTip(QStringLiteral("Remove source"));
    remove_->setAccessibleName(QStringLiteral("Remove source"));
    remove_->setFocusPolicy(Qt::StrongFocus);
    header->addWidget(remove_);
    column->addLayout(header);

    const Uuid id = id_;
    connect(name_, &QLineEdit::textEdited, this, [this, id](const QString& text) {
        model_.updateModulationSource(id, [name = text.toStdString()](ModulationSource& edited) { edited.name = name; });
    });
    connect(remove_, &QToolButton::clicked, this, [this, id] { model_.removeModulationSource(id); });

    if (source.kind == ModulationSourceKind::lfo) {
        wave_ = new QComboBox(this);
        for (const auto waveform : allModulationWaveforms) wave_->addItem(capitalised(toRawValue(waveform)));
        wave_->setAccessibleName(QStringLiteral("Wave"));
        passWheelUnlessFocused(wave_);
        column->addLayout(labelledRow(QStringLiteral("Wave"), wave_, this));
        connect(wave_, &QComboBox::activated, this, [this, id](int index) {
            if (index < 0) return;
            const auto waveform = allModulationWaveforms[static_cast<std::size_t>(index)];
            model_.updateModulationSource(id, [waveform](ModulationSource& edited) { edited.waveform = waveform; });
        });
    }
    for (const auto& spec : kindSliders(source.kind)) {
        auto* slider = new ValueSlider(QString::fromUtf8(spec.title), spec.range, this);
        slider->setKeyboardStep(spec.step);
        const auto field = spec.field;
        slider->onChange = [this, id, field](double value) {
            model_.updateModulationSource(id, [field, value](ModulationSource& edited) { edited.*field = value; });
        };
        sliders_.push_back(slider);
        column->addWidget(slider);
    }
    column->addWidget(divider(this));
    for (const auto& route : routes) routeRows_.push_back(makeRouteRow(route, column));

    auto* menu = new QMenu(this);
    for (const auto target : allParameterTargets) {
        menu->addAction(qString(modulationLabel(target)), this, [this, id, target] { model_.addModulationRoute(id, target); });
    }
    addDestination_ = addMenuButton(QStringLiteral("Add Destination"), menu, this);
    setSymbol(addDestination_, QStringLiteral("point.3.connected.trianglepath.dotted"));
    column->addWidget(addDestination_, 0, Qt::AlignLeft);

    showSource(source, routes);
}

ModulationSourceCard::RouteRow ModulationSourceCard::makeRouteRow(const ModulationRoute& route, QVBoxLayout* column)
{
    RouteRow row;
    row.id = route.id;
    auto* line = new QHBoxLayout;
    line->setSpacing(7);
    auto* arrow = new SymbolView(QStringLiteral("arrow.turn.down.right"), accent, 16, this);
    line->addWidget(arrow, 0, Qt::AlignTop);

    auto* stack = new QVBoxLayout;
    stack->setSpacing(3);
    row.destination = new QComboBox(this);
    for (const auto target : allParameterTargets) row.destination->addItem(qString(modulationLabel(target)));
    row.destination->setAccessibleName(QStringLiteral("Destination"));
    row.destination->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // The names are long ("Instrument Resonance · Note Start"): the picker narrows to a few letters in a
    // narrow column and shows the whole name in its list.
    row.destination->setMinimumContentsLength(6);
    passWheelUnlessFocused(row.destination);
    stack->addLayout(labelledRow(QStringLiteral("Destination"), row.destination, this));
    row.scope = captionLabel(QString(), this);
    row.scope->setFont(captionFont(*row.scope, 0.78));
    stack->addWidget(row.scope);
    row.amount = new ContinuousSlider({-1, 1}, this);
    row.amount->setKeyboardStep(0.02);
    row.amount->setAccessibleName(QStringLiteral("Amount"));
    stack->addWidget(row.amount);
    line->addLayout(stack, 1);

    row.remove = new QToolButton(this);
    setSymbol(row.remove, QStringLiteral("xmark.circle.fill"), secondaryTextColor(*this));
    row.remove->setAutoRaise(true);
    row.remove->setToolTip(QStringLiteral("Remove route"));
    row.remove->setAccessibleName(QStringLiteral("Remove route"));
    row.remove->setFocusPolicy(Qt::StrongFocus);
    line->addWidget(row.remove, 0, Qt::AlignTop);
    column->addLayout(line);

    const Uuid id = route.id;
    connect(row.destination, &QComboBox::activated, this, [this, id](int index) {
        if (index >= 0) model_.setModulationRouteDestination(id, allParameterTargets[static_cast<std::size_t>(index)]);
    });
    row.amount->onChange = [this, id](double amount) {
        model_.updateModulationRoute(id, [amount](ModulationRoute& edited) { edited.amount = amount; });
    };
    connect(row.remove, &QToolButton::clicked, this, [this, id] { model_.removeModulationRoute(id); });
    return row;
}

void ModulationSourceCard::showSource(const ModulationSource& source, const std::vector<ModulationRoute>& routes)
{
    const auto name = QString::fromStdString(source.name);
    if (name_->text() != name) {
        const int cursor = name_->cursorPosition();
        name_->setText(name);
        name_->setCursorPosition(std::min(cursor, static_cast<int>(name.size())));
    }
    if (wave_) {
        const QSignalBlocker blocker(wave_);
        wave_->setCurrentIndex(static_cast<int>(source.waveform));
    }
    const auto specs = kindSliders(source.kind);
    for (std::size_t i = 0; i < sliders_.size() && i < specs.size(); ++i) sliders_[i]->setValue(source.*specs[i].field);
    for (std::size_t i = 0; i < routeRows_.size() && i < routes.size(); ++i) {
        auto& row = routeRows_[i];
        const QSignalBlocker blocker(row.destination);
        row.destination->setCurrentIndex(indexOf(routes[i].target));
        row.scope->setText(routeScopeText(routes[i]));
        row.amount->showValue(routes[i].amount);
        row.amount->setAccessibleDescription(formatValue(routes[i].amount));
    }
}

void ModulationSourceCard::paintEvent(QPaintEvent* event)
{
    RoundedBox::paintEvent(event);
    // The accent bar at the leading edge marks the card as one source.
    QPainter painter(this);
    painter.fillRect(QRectF(0, 8, 2, height() - 16), accent);
}

} // namespace veltrane::inspector
