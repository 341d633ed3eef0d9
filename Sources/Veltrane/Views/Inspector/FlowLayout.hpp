#pragma once

// A row of controls that wraps onto further lines when the inspector is too narrow to hold it, instead of
// pushing past the column's right edge where its end would be cut off. While the row fits on one line it
// looks like a horizontal box; with `trailingAtEnd` its last item stands at the right end of its line, as
// after a spacer (a heading on the left, its menu on the right).

#include <QLayout>

#include <vector>

namespace veltrane::inspector {

class FlowLayout final : public QLayout {
public:
    explicit FlowLayout(QWidget* parent = nullptr, bool trailingAtEnd = false);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    /// Places the items in `rect` (only measures when `apply` is false) and returns the height used.
    int arrange(const QRect& rect, bool apply) const;
    int horizontalGap() const;
    int verticalGap() const;

    std::vector<QLayoutItem*> items_;
    bool trailingAtEnd_;
};

} // namespace veltrane::inspector
