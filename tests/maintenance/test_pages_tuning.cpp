// The SGamma and PID pages against the simulator, one positioner per corrector type.
#include "link/controller.h"
#include "pages_fixture.h"

#include "maintenance/page_sgammapid.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mvx::test {
namespace {

template <class Page>
class TuningPageTest : public PagesTest {
protected:
    void open()
    {
        host = std::make_unique<QWidget>();
        page = new Page(ctx, host.get());
        ctx.pages = {page};
        host->show();
        ctx.show(page);
    }
    void TearDown() override
    {
        host.reset();
        PagesTest::TearDown();
    }
    template <class T = QWidget>
    T* w(const char* name)
    {
        T* x = page->template findChild<T*>(name);
        EXPECT_NE(x, nullptr) << name;
        return x;
    }
    void click(const char* name) { QTest::mouseClick(w<QPushButton>(name), Qt::LeftButton); }

    PagesContext ctx;
    std::unique_ptr<QWidget> host;
    Page* page = nullptr;
};

using SGammaPageTest = TuningPageTest<maint::SGammaPage>;

TEST_F(SGammaPageTest, ReadsWritesAndRefusesFieldsThatAreNotNumbers)
{
    common().PositionReadingOn.store(1);
    open();
    EXPECT_EQ(common().PositionReadingOn.load(), 0);
    EXPECT_EQ(w<QComboBox>("ComboBox7")->currentText(), "GROUP3.T");
    EXPECT_EQ(link::CurrentController().threadGroupName(), "GROUP3.T");
    click("Button54");
    EXPECT_EQ(w<QLineEdit>("Edit_velocity")->text(), "50");
    EXPECT_EQ(w<QLineEdit>("Edit_acceleration")->text(), "400");
    EXPECT_EQ(w<QLineEdit>("Edit_jerk_min")->text(), "0.005");

    struct Row {
        const char* field;
        const char* message;
    };
    const Row bad[] = {{"Edit_velocity", "Vitesse incorrecte"},
                       {"Edit_acceleration", "Acceleration incorrecte"},
                       {"Edit_jerk_min", "Valeur de \"jerk\" incorrecte"},
                       {"Edit_jerk_max", "valeur de \"Jerk max\" incorrecte"}};
    for (const Row& r : bad) {
        click("Button54");
        w<QLineEdit>(r.field)->setText("1,5");
        sim().clearRequestLog();
        ctx.clearLog();
        click("Button55");
        EXPECT_TRUE(callsOf("PositionerSGammaParametersSet").empty()) << r.field;
        ASSERT_EQ(ctx.lines.size(), 1u);
        EXPECT_EQ(ctx.lines[0], r.message);
    }

    w<QLineEdit>("Edit_velocity")->setText("20");
    w<QLineEdit>("Edit_acceleration")->setText("200");
    w<QLineEdit>("Edit_jerk_min")->setText("0.01");
    w<QLineEdit>("Edit_jerk_max")->setText("0.04");
    click("Button55");
    w<QLineEdit>("Edit_velocity")->clear();
    click("Button54");
    EXPECT_EQ(w<QLineEdit>("Edit_velocity")->text(), "20");
    EXPECT_EQ(w<QLineEdit>("Edit_jerk_max")->text(), "0.04");
}

using PidPageTest = TuningPageTest<maint::PidPage>;

struct CorrectorRow {
    const char* positioner;
    const char* caption;
    bool piBox, pidBox, dualFields;
    const char* setCall;
    int parameters;
    const char* kpField;
};

TEST_F(PidPageTest, EachCorrectorTypeShowsItsFieldsAndWritesItsParameters)
{
    open();
    const CorrectorRow rows[] = {
        {"GROUP1.X", "PID: PIDDualFFVoltage", false, true, true, "PositionerCorrectorPIDDualFFVoltageSet", 13, "Edit77"},
        {"GROUP1.Y", "PID: PIPosition", true, false, false, "PositionerCorrectorPIPositionSet", 3, "Edit71"},
        {"GROUP1.Z", "PID: FFVelocity", false, true, false, "PositionerCorrectorPIDFFVelocitySet", 11, "Edit77"},
        {"GROUP3.T", "PID: FFAcceleration", false, true, false, "PositionerCorrectorPIDFFAccelerationSet", 11, "Edit77"},
    };
    for (const CorrectorRow& r : rows) {
        SCOPED_TRACE(r.positioner);
        w<QComboBox>("ComboBox6")->setCurrentText(r.positioner);
        EXPECT_EQ(w<QGroupBox>("GroupBox18")->isVisible(), r.piBox);
        EXPECT_EQ(w<QGroupBox>("GroupBox19")->isVisible(), r.pidBox);
        EXPECT_EQ(w("Edit85")->isVisible(), r.dualFields);
        EXPECT_EQ(w("Edit86")->isVisible(), r.dualFields);
        const char* box = r.piBox ? "GroupBox18" : "GroupBox19";
        EXPECT_EQ(w<QGroupBox>(box)->title(), r.caption);
        EXPECT_TRUE(w<QCheckBox>("CheckBox2")->isVisible());
        EXPECT_TRUE(w<QCheckBox>("CheckBox2")->isChecked());
        EXPECT_TRUE(w<QLabel>("Label89")->text().startsWith("Type de correction : PositionerCorrector"));
        EXPECT_EQ(w<QLineEdit>(r.kpField)->text(), "100.000000");

        w<QLineEdit>(r.kpField)->setText("123.5");
        w<QCheckBox>("CheckBox2")->setChecked(false);
        sim().clearRequestLog();
        click("Button53");
        const auto set = callsOf(r.setCall);
        ASSERT_EQ(set.size(), 1u);
        ASSERT_EQ(int(set[0].size()), 2 + r.parameters);
        EXPECT_EQ(set[0][0], r.positioner);
        EXPECT_EQ(set[0][1], "0");
        EXPECT_DOUBLE_EQ(number(set[0][2]), 123.5);
        w<QLineEdit>(r.kpField)->clear();
        click("Button52");
        EXPECT_EQ(w<QLineEdit>(r.kpField)->text(), "123.500000");
        EXPECT_FALSE(w<QCheckBox>("CheckBox2")->isChecked());
    }
}

TEST_F(PidPageTest, NothingIsWrittenFromFieldsThatWereNotReadOrAreNotNumbers)
{
    open();
    w<QComboBox>("ComboBox6")->setCurrentText("GROUP1.Z");
    w<QLineEdit>("Edit78")->setText("abc");
    sim().clearRequestLog();
    click("Button53");
    EXPECT_TRUE(callsOf("PositionerCorrectorPIDFFVelocitySet").empty());
    EXPECT_TRUE(ctx.logged("Paramètre de correcteur incorrect : abc"));

    // The read of another positioner fails: its fields still hold GROUP1.Z's values.
    KvxFault f;
    f.function = "PositionerCorrectorPIDFFVelocityGet";
    f.kind = "error";
    f.code = -18;
    sim().setFault(f);
    w<QComboBox>("ComboBox6")->setCurrentText("GROUP2.X");
    click("Button52");
    w<QLineEdit>("Edit78")->setText("10");
    sim().clearFaults();
    sim().clearRequestLog();
    click("Button53");
    EXPECT_TRUE(callsOf("PositionerCorrectorPIDFFVelocitySet").empty());
    EXPECT_TRUE(ctx.logged("Lire d'abord"));
}

}  // namespace
}  // namespace mvx::test
