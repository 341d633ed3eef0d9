#pragma once

// A horizontal strip of cards, one per song block: its index, repeat count, pattern name and up to three
// marker flags, the selected block outlined and the blocks of the enabled loop region tinted. Clicking a
// card selects its block; dragging a card onto another moves the block there. It draws from plain
// values and reports through two callbacks; it knows no model.
//
// Only block cards dragged from this strip are accepted, and only where the drop moves a block: a card
// dropped onto itself, or a drag from anywhere else, shows as refused instead of being taken and ignored.

#include "VeltraneCore/Models/Project.hpp"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QMimeData;
class QScrollArea;

namespace veltrane {

class SongCardStrip;

class SongTimelineView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int cardHeight = 58;
    static constexpr int cardSpacing = 6;
    static constexpr int headerHeight = 26;
    /// The MIME type that marks a drag as a block card of a song timeline.
    static constexpr const char* blockMimeType = "application/x-veltrane-song-block";

    explicit SongTimelineView(QWidget* parent = nullptr);

    /// What to draw: the song, the project's patterns (for the names) and the selected block.
    void display(SongArrangement arrangement, std::vector<Pattern> patterns, int selectedBlock);
    std::function<void(int block)> onSelect;
    std::function<void(int source, int destination)> onMove;

    const SongArrangement& arrangement() const noexcept { return arrangement_; }
    int selectedBlock() const noexcept { return selectedBlock_; }

    /// A card's width: 86 points for one repeat, 12 more for each further one, at most 160.
    static int cardWidth(int repeats);
    /// The card of block `index`, in the strip's coordinates.
    QRect cardRect(int index) const;
    /// The strip the cards are drawn on (the scroll area's content).
    QWidget* strip() const;
    QLabel* loopLabel() const noexcept { return loopLabel_; }

    /// What a card carries when dragged: its index in decimal as text, and this strip's mark.
    QMimeData* dragPayload(int block) const;
    /// The block index a dropped text names: decimal, one optional leading sign, within 64 bits.
    static std::optional<std::int64_t> parseBlockIndex(const QString& text);
    /// The source block of a drop of `data` onto card `destination` that moves a block, or none when
    /// the drop must be refused.
    std::optional<int> acceptedSource(const QMimeData* data, int destination) const;

private:
    friend class SongCardStrip;

    SongArrangement arrangement_;
    std::vector<Pattern> patterns_;
    int selectedBlock_ = 0;
    QLabel* loopLabel_;
    QWidget* loopBadge_;
    QScrollArea* scroll_;
    QByteArray dragMark_;
    SongCardStrip* strip_;
};

} // namespace veltrane
