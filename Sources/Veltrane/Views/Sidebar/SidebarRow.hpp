#pragma once

// One row of a sidebar list: it draws the selection highlight or a tint behind its content and reports
// a press anywhere on it that its controls do not take.

#include <QColor>
#include <QWidget>

namespace veltrane {

class SidebarRow : public QWidget {
    Q_OBJECT
public:
    explicit SidebarRow(QWidget* parent = nullptr);

    bool isHighlighted() const noexcept { return highlighted_; }
    void setHighlighted(bool highlighted);
    /// The fill behind an unhighlighted row; transparent for none.
    QColor tint() const noexcept { return tint_; }
    void setTint(QColor tint);
    /// Whether the list holding the row has the keyboard focus, which draws the highlight stronger.
    bool inFocusedList() const;

signals:
    void pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool highlighted_ = false;
    QColor tint_{Qt::transparent};
};

} // namespace veltrane
