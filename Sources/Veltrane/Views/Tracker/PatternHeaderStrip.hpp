#pragma once

// The strip above the editing tools: which pattern is edited, its size, the selection's size and where
// the cursor stands.

#include <QWidget>

class QLabel;

namespace veltrane {

class AppModel;

class PatternHeaderStrip final : public QWidget {
    Q_OBJECT
public:
    explicit PatternHeaderStrip(AppModel& model, QWidget* parent = nullptr);

    QString patternText() const;
    QString sizeText() const;
    /// Empty while nothing is selected.
    QString selectionText() const;
    QString cursorText() const;

private:
    void refresh();

    AppModel& model_;
    QLabel* pattern_;
    QLabel* size_;
    QLabel* selection_;
    QLabel* cursor_;
};

} // namespace veltrane
