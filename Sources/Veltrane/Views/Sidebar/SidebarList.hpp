#pragma once

// A scrolling list of sidebar rows, top to bottom, with empty space below the last one.
//
// A list that chooses with the keys takes the keyboard focus when one of its rows is clicked. While it
// has the focus, Up and Down choose the row above or below the current one, Home
// and End the first and the last; the keys stop at the ends rather than wrapping round. Its highlight is
// drawn stronger meanwhile, so the user can tell that the arrows move through the list and not the grid.

#include <QScrollArea>

#include <functional>

class QVBoxLayout;

namespace veltrane {

class SidebarRow;

class SidebarList final : public QScrollArea {
    Q_OBJECT
public:
    explicit SidebarList(const QString& name, QWidget* parent = nullptr);

    /// Where the rows go: a row's index in the layout is its index in the list.
    QVBoxLayout* rows() const noexcept { return rows_; }
    int rowCount() const;
    SidebarRow* row(int index) const;

    /// Lets the keys choose: `current` says which row the keys move from, asked afresh at each key so that
    /// it always follows the model, and `choose` is handed the row a key picked.
    void chooseWithKeys(std::function<int()> current, std::function<void(int)> choose);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QVBoxLayout* rows_ = nullptr;
    std::function<int()> current_;
    std::function<void(int)> choose_;
};

} // namespace veltrane
