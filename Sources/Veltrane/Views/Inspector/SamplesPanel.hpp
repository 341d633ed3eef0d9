#pragma once

// The Samples tab: the sample browser. A search field over the project's sample instruments, one row per
// instrument found (favourites first, then by name), and a zone that takes audio files dropped from the
// file manager, imports them through a file panel, or records the audio input into a new sample. The
// search text is the tab's only state; everything else is the model's and changes through its operations.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include <QList>
#include <QUrl>

#include <map>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace veltrane {

namespace inspector {
class SampleBrowserRow;
}

class SamplesPanel : public InspectorPanel {
    Q_OBJECT

public:
    explicit SamplesPanel(AppModel& model, QWidget* parent = nullptr);

    QLineEdit* searchField() const noexcept { return search_; }
    /// The rows shown, top to bottom.
    std::vector<inspector::SampleBrowserRow*> rows() const;
    /// The empty state (shown when no row is), its title and its description.
    QWidget* emptyState() const noexcept { return empty_; }
    QLabel* emptyTitle() const noexcept { return emptyTitle_; }
    QLabel* emptyDescription() const noexcept { return emptyDescription_; }
    /// The drop zone with the import and record buttons.
    QWidget* dropZone() const noexcept { return dropZone_; }
    QPushButton* importButton() const noexcept { return import_; }
    QPushButton* recordButton() const noexcept { return record_; }

    /// Hands dropped files to the model; true when they became sample instruments. What a drop on the zone
    /// does.
    bool dropFiles(const QList<QUrl>& urls);

signals:
    /// The user chose an instrument by its name: the inspector goes on to the Instrument tab.
    void instrumentChosen();

protected:
    void showModel() override;

private:
    QLineEdit* search_;
    QVBoxLayout* list_;
    QWidget* empty_;
    QLabel* emptyTitle_;
    QLabel* emptyDescription_;
    QWidget* dropZone_;
    QPushButton* import_;
    QPushButton* record_;
    std::map<int, inspector::SampleBrowserRow*> rows_; // by instrument index
};

} // namespace veltrane
