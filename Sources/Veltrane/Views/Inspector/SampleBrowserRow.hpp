#pragma once

// One sample instrument in the sample browser: audition, name (which selects it for editing), favourite
// star, its small waveform or, when its file is lost, a warning with a button to locate it, and its tags.
// The row shows what it is given and reports what the user does; it is kept and updated in place while
// its instrument stays listed, so a tags field being typed in keeps its focus and its text.

#include "VeltraneCore/Models/Instrument.hpp"

#include <QFrame>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QToolButton;
class QPushButton;

namespace veltrane::inspector {

class SampleMiniWaveform;

class SampleBrowserRow : public QFrame {
    Q_OBJECT

public:
    explicit SampleBrowserRow(int index, QWidget* parent = nullptr);

    int index() const noexcept { return index_; }

    /// Shows `instrument`; `peaks` is its overview (ignored while `missing`).
    void showInstrument(const Instrument& instrument, bool selected, bool missing, std::vector<float> peaks);

    std::function<void()> onAudition;
    std::function<void()> onSelect;
    std::function<void(bool favorite)> onFavorite;
    std::function<void()> onLocate;
    std::function<void(const QString& text)> onTagsEdited;

    QToolButton* auditionButton() const noexcept { return audition_; }
    QPushButton* nameButton() const noexcept { return name_; }
    QToolButton* favoriteButton() const noexcept { return favorite_; }
    QWidget* missingRow() const noexcept { return missingRow_; }
    QPushButton* locateButton() const noexcept { return locate_; }
    SampleMiniWaveform* waveform() const noexcept { return waveform_; }
    QLineEdit* tagsField() const noexcept { return tags_; }
    bool isSelected() const noexcept { return selected_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showName();

    int index_;
    QString fullName_;
    bool selected_ = false;
    bool isFavorite_ = false;
    QToolButton* audition_;
    QPushButton* name_;
    QToolButton* favorite_;
    QWidget* missingRow_;
    QPushButton* locate_;
    SampleMiniWaveform* waveform_;
    QLineEdit* tags_;
};

} // namespace veltrane::inspector
