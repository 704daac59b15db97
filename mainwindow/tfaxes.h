#pragma once
// "Axes setup": which positioner of the controller is the X, the Y and the Z axis, and so which
// motion group the generated script drives. Full names are "group.positioner".

#include <QDialog>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QGroupBox;

namespace mvx {

// Group part (before the first ".", at most 25 characters; empty without ".") and axis part
// (after the first ".", or the whole text without "."), blanks removed from the axis part.
struct PositionerName {
    std::string Group;
    std::string Axis;
};
PositionerName SplitPositionerName(const std::string& fullName);

class TFaxes : public QDialog {
    Q_OBJECT
public:
    explicit TFaxes(QWidget* parent = nullptr);

    // Where the positioner full names come from (the maintenance window's configuration lists).
    using PositionerSource = std::function<std::vector<std::string>()>;
    void setPositionerSource(PositionerSource source) { mSource = std::move(source); }
    // The group's shape, known once the controller's configuration has been read.
    void setGroupShape(bool xyOnly, int axisCount);

    // Fills the lists and selects the stored names; sets the group and axis names.
    void FormCreate();
    // OK: takes the axis names from the lists and stores them.
    void BitBtn1Click();

    const std::string& groupName() const noexcept { return mGroupName; }
    const std::array<std::string, 3>& axisNames() const noexcept { return mAxisNames; }
    QComboBox* axisList(int axis) const { return mLists[static_cast<std::size_t>(axis)]; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void takeNames();
    void select(QComboBox* list, const std::string& name);

    PositionerSource mSource;
    std::array<QComboBox*, 3> mLists{};
    std::array<QGroupBox*, 3> mBoxes{};
    std::string mGroupName;
    std::array<std::string, 3> mAxisNames{"X", "Y", "Z"};
    bool mXyOnly = false;
    int mAxisCount = 3;
};

}  // namespace mvx
