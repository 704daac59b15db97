#pragma once
// The "Single" page (TSSingle): one single-axis group — initialise, kill, home, motor on/off,
// absolute and relative moves, jog by holding an arrow, status and the position reading switch.

#include "motionpage.h"

class QLineEdit;
class QPushButton;

namespace mvx::maint {

class SinglePage : public GroupMotionPage {
    Q_OBJECT
public:
    SinglePage(MaintenanceContext& context, QWidget* parent);

    void positionsChanged(std::span<const double> positions) override;
    void loadSettings(IniFile& ini) override;
    void saveSettings(IniFile& ini) override;

    void ButtonAbsoluSingleClick();
    void ButtonRelatifPlusSingleClick() { relative(1.0); }
    void ButtonRelatifMoinsSingleClick() { relative(-1.0); }
    void ButtonCMPlusSingleMouseDown() { jogArrow(1.0); }
    void ButtonCMmoinsSingleMouseDown() { jogArrow(-1.0); }
    void ButtonCMmoinsSingleMouseUp() { endJogHold(); }
    void Button32Click();

protected:
    int positionCount() const override { return 1; }

private:
    void relative(double sign);
    void jogArrow(double sign);

    QLineEdit* mEdit3 = nullptr;  // jog speed
    QLineEdit* mEdit4 = nullptr;  // position
    QLineEdit* mEdit5 = nullptr;  // relative step
    QLineEdit* mEdit6 = nullptr;  // absolute target
    QPushButton* mButton32 = nullptr;
};

// Registers the page under "TSSingle".
void registerSinglePage();

}  // namespace mvx::maint
