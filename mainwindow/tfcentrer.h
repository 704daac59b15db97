#pragma once
// "center on (X,Y,Z)" of the 3D view's pop-up menu: a small window that asks the three
// coordinates of the new camera target.

#include <QDialog>

#include <array>
#include <string>

class QLineEdit;

namespace mvx {

class TFcentrer : public QDialog {
    Q_OBJECT
public:
    explicit TFcentrer(QWidget* parent = nullptr);

    // Shows the window modally with `xyz` in its three boxes; true and the boxes' texts in
    // `xyz` when closed with OK.
    bool Ask(std::array<std::string, 3>& xyz);
    QLineEdit* edit(int axis) const { return mEdits[static_cast<std::size_t>(axis)]; }

private:
    std::array<QLineEdit*, 3> mEdits{};
};

}  // namespace mvx
