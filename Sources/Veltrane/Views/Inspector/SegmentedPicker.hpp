#pragma once

// A titled row of joined, mutually exclusive buttons: the choice among a few named cases.
//
//     auto* mode = new SegmentedPicker("Mode", {"Step", "Realtime"});
//     mode->setCurrent(1);                       // from the model; reports nothing
//     mode->onChoose = [&](int index) { ... };   // when the user picks another segment

#include <QStringList>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QButtonGroup;

namespace veltrane::inspector {

class SegmentedPicker : public QWidget {
    Q_OBJECT

public:
    SegmentedPicker(const QString& title, const QStringList& segments, QWidget* parent = nullptr);

    void setCurrent(int index);
    int current() const;
    QAbstractButton* segment(int index) const;

    std::function<void(int)> onChoose;

private:
    QButtonGroup* group_;
};

} // namespace veltrane::inspector
