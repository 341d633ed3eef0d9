#pragma once

// The transport's position readout, "pattern : row" in hexadecimal ("0A : 1F"): the playing row while
// the transport plays, the cursor row otherwise. It polls the playing row 30 times a second and changes
// its text only when the text changes.

#include <QLabel>

class QTimer;

namespace veltrane {

struct PlaybackUIState;

class PlaybackPositionLabel final : public QLabel {
    Q_OBJECT
public:
    explicit PlaybackPositionLabel(QWidget* parent = nullptr);

    void setState(const PlaybackUIState* state) { state_ = state; }
    void setPattern(int pattern) { pattern_ = pattern; }
    void setSelectedRow(int row) { selectedRow_ = row; }

    /// Starts the 1/30-second timer once and refreshes at once.
    void startAnimating();
    /// Sets the text from the current values when it differs.
    void refresh();
    bool isAnimating() const noexcept { return timer_ != nullptr; }

    static QString positionText(int pattern, int row);

private:
    const PlaybackUIState* state_ = nullptr;
    int pattern_ = 0;
    int selectedRow_ = 0;
    QTimer* timer_ = nullptr;
};

} // namespace veltrane
