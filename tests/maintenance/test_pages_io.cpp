// The digital and analog I/O pages against the simulator: reads, writes with their masks per
// model, the poll, and the analog channels.
#include "link/controller.h"
#include "pages_fixture.h"

#include "maintenance/page_io.h"
#include "maintenance/maintenanceregistry.h"
#include "maintenance/maintenancewindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

namespace mvx::test {
namespace {

class IoPageTest : public PagesTest {
protected:
    void openPage(const char* name)
    {
        maint::registerIoPages();
        host = std::make_unique<QWidget>();
        page = maint::findMaintenancePage(name)(ctx, host.get());
        ctx.pages = {page};
        host->show();
        page->windowShown(GetControllerModel());
        ctx.show(page);
    }
    void TearDown() override
    {
        host.reset();
        PagesTest::TearDown();
    }
    template <class T = QWidget>
    T* w(const QString& name)
    {
        T* x = page->findChild<T*>(name);
        EXPECT_NE(x, nullptr) << name.toStdString();
        return x;
    }
    void click(const QString& name) { QTest::mouseClick(w<QPushButton>(name), Qt::LeftButton); }
    void setOutputs(const std::string& port, int bits, const std::vector<int>& on)
    {
        for (int b = 1; b <= bits; ++b) w<QSpinBox>(QString::fromStdString(port + "." + std::to_string(b)))->setValue(0);
        for (int b : on) w<QSpinBox>(QString::fromStdString(port + "." + std::to_string(b)))->setValue(1);
    }

    PagesContext ctx;
    std::unique_ptr<QWidget> host;
    maint::MaintenancePage* page = nullptr;
};

struct WriteRow {
    const char* port;
    int bits;
    std::vector<int> on;
    const char* button;
    unsigned value, mask;
};


TEST_F(IoPageTest, DigitalPageReadsBitsAndWritesOnlyItsOwnBits)
{
    openPage("TSIO");
    EXPECT_EQ(w<QLineEdit>("GPIO1.DI.1")->text(), "X");
    sim().setDigitalInput("GPIO1.DI", 5);
    sim().setDigitalInput("GPIO4.DI", 0x8001);
    click("Button45");
    EXPECT_EQ(w<QLineEdit>("GPIO1.DI.1")->text(), "1");
    EXPECT_EQ(w<QLineEdit>("GPIO1.DI.2")->text(), "0");
    EXPECT_EQ(w<QLineEdit>("GPIO1.DI.3")->text(), "1");
    EXPECT_EQ(w<QLineEdit>("GPIO4.DI.16")->text(), "1");
    EXPECT_EQ(w<QLineEdit>("GPIO4.DI.15")->text(), "0");

    const WriteRow rows[] = {
        {"GPIO1.DO", 8, {1, 3, 8}, "SpeedButtn10", 133, 255},
        {"GPIO3.DO", 6, {1, 6}, "SpeedButton11", 33, 63},  // bits 7 and 8 are not on the page
        {"GPIO4.DO", 16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, "SpeedButton12", 65535, 65535},
    };
    for (const WriteRow& r : rows) {
        SCOPED_TRACE(r.port);
        setOutputs(r.port, r.bits, r.on);
        sim().clearRequestLog();
        click(r.button);
        const auto set = callsOf("GPIODigitalSet");
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(set[0][0], r.port);
        EXPECT_EQ(set[0][1], std::to_string(r.mask));
        EXPECT_EQ(set[0][2], std::to_string(r.value));
        EXPECT_EQ(sim().digital(r.port), r.value);
    }
    // The outputs read back into the boxes.
    setOutputs("GPIO1.DO", 8, {});
    click("Button45");
    EXPECT_EQ(w<QSpinBox>("GPIO1.DO.8")->value(), 1);
    EXPECT_EQ(w<QSpinBox>("GPIO1.DO.2")->value(), 0);
}

TEST_F(IoPageTest, PollReadsUntilReleasedKeepsEditsAndLogsARepeatedFailureOnce)
{
    openPage("TSIO");
    auto* poll = w<QPushButton>("SpeedButton9");
    poll->click();
    EXPECT_FALSE(w("Button45")->isEnabled());
    sim().setDigitalInput("GPIO2.DI", 2);
    EXPECT_TRUE(waitFor([&] { return w<QLineEdit>("GPIO2.DI.2")->text() == "1"; }));
    // A box being edited is not overwritten by the poll before "Changer".
    w<QSpinBox>("GPIO3.DO.2")->setValue(1);
    QTest::qWait(350);
    EXPECT_EQ(w<QSpinBox>("GPIO3.DO.2")->value(), 1);

    KvxFault f;
    f.function = "GPIODigitalGet";
    f.kind = "error";
    f.code = -8;
    sim().setFault(f);
    ctx.clearLog();
    QTest::qWait(600);
    EXPECT_EQ(ctx.lines.size(), 7u);  // one line per port, not one per tick
    ASSERT_FALSE(ctx.lines.empty());
    EXPECT_EQ(ctx.lines[0].rfind("GPIO1.DI : ", 0), 0u) << ctx.lines[0];
    EXPECT_TRUE(boxes.empty());  // never a modal box from the timer
    sim().clearFaults();

    // Leaving the page stops the poll.
    page->pageHidden();
    EXPECT_FALSE(poll->isChecked());
    EXPECT_TRUE(w("Button45")->isEnabled());
    sim().clearRequestLog();
    QTest::qWait(300);
    EXPECT_TRUE(callsOf("GPIODigitalGet").empty());
}

// The console window itself, showing one digital page with its poll latched, then another page.
struct ConsoleOnIoPage {
    explicit ConsoleOnIoPage(const char* pageName, const char* pollButton, const char* inputField)
    {
        maint::registerIoPages();
        window = std::make_unique<maint::TFmain_KVX>(nullptr, mvx::link::CurrentController());
        window->show();
        tabs = window->findChild<QTabWidget*>();
        ioPage = window->findChild<QWidget*>(pageName);
        tabs->setCurrentWidget(ioPage);
        QTest::mouseClick(ioPage->findChild<QPushButton*>(pollButton), Qt::LeftButton);
        field = ioPage->findChild<QLineEdit*>(inputField);
    }
    ~ConsoleOnIoPage()
    {
        if (window->isVisible()) window->close();
    }
    bool polling(const char* pollButton) const { return ioPage->findChild<QPushButton*>(pollButton)->isChecked(); }
    void showGeneralPage() { tabs->setCurrentWidget(window->findChild<QWidget*>("TSgeneral")); }

    std::unique_ptr<maint::TFmain_KVX> window;
    QTabWidget* tabs = nullptr;
    QWidget* ioPage = nullptr;
    QLineEdit* field = nullptr;
};

// Leaving the digital page of a C or Q controller stops its poll.
TEST_F(IoPageTest, LeavingTheDigitalPageInTheConsoleStopsItsPoll)
{
    ConsoleOnIoPage console("TSIO", "SpeedButton9", "GPIO2.DI.2");
    sim().setDigitalInput("GPIO2.DI", 2);
    EXPECT_TRUE(waitFor([&] { return console.field->text() == "1"; }));
    console.showGeneralPage();
    EXPECT_FALSE(console.polling("SpeedButton9"));
    sim().clearRequestLog();
    QTest::qWait(300);
    EXPECT_TRUE(callsOf("GPIODigitalGet").empty());
}

TEST_F(IoPageTest, AnalogPageReadsGainsInputsAndOutputsAndRefusesOutOfRange)
{
    openPage("TabSheet1");
    EXPECT_EQ(w<QLineEdit>("Edit172")->text(), "GPIO2");
    EXPECT_FALSE(w<QCheckBox>("CheckBox1")->isChecked());
    sim().setAnalogInput("GPIO2.ADC1", 2.5);
    sim().clearRequestLog();
    click("Button50");
    EXPECT_EQ(w<QLineEdit>("EditADC1")->text(), "2.50000000");
    // Without the extensions, inputs 5 to 8 are not read.
    for (const auto& c : callsOf("GPIOAnalogGet")) EXPECT_EQ(c[0].find("ADC5"), std::string::npos);

    auto* bar = w<QSlider>("TrackBar1");
    bar->setValue(7500);
    EXPECT_EQ(w<QLineEdit>("Edit62")->text(), "5.000");
    w<QLineEdit>("Edit62")->setText("-2.5");
    QMetaObject::invokeMethod(w<QLineEdit>("Edit62"), "editingFinished");
    EXPECT_EQ(bar->value(), 3750);
    w<QLineEdit>("Edit63")->setText("12");
    QMetaObject::invokeMethod(w<QLineEdit>("Edit63"), "editingFinished");
    EXPECT_EQ(w<QLineEdit>("Edit63")->text(), "0.000");
    EXPECT_TRUE(ctx.logged("Tension incorrecte"));

    sim().clearRequestLog();
    click("Button51");
    EXPECT_EQ(callsOf("GPIOAnalogSet").size(), 4u);
    EXPECT_DOUBLE_EQ(sim().analog("GPIO2.DAC1"), -2.5);
    // One value out of range: no output changes.
    w<QLineEdit>("Edit64")->setText("10.5");
    sim().clearRequestLog();
    click("Button51");
    EXPECT_TRUE(callsOf("GPIOAnalogSet").empty());

    // Gains: typed text is sent as its integer; a text that is not a gain is refused.
    auto* gain = w<QComboBox>("ComboBox2");
    sim().clearRequestLog();
    gain->setCurrentText("4");
    QMetaObject::invokeMethod(gain, "textActivated", Q_ARG(QString, "4"));
    const auto sets = callsOf("GPIOAnalogGainSet");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0][0], "GPIO2.ADC2");
    EXPECT_EQ(sets[0][1], "4");
    gain->setCurrentText("x");
    QMetaObject::invokeMethod(gain, "textActivated", Q_ARG(QString, "x"));
    EXPECT_EQ(callsOf("GPIOAnalogGainSet").size(), 1u);

    // With the extensions, inputs 5 to 8 are shown and read.
    w<QCheckBox>("CheckBox1")->setChecked(true);
    EXPECT_TRUE(w("GroupBoxADC5")->isVisible());
    sim().clearRequestLog();
    click("Button50");
    bool five = false;
    for (const auto& c : callsOf("GPIOAnalogGet")) five = five || c[0] == "GPIO2.ADC5";
    EXPECT_TRUE(five);
}

class IoModelDTest : public IoPageTest {
protected:
    static void SetUpTestSuite() { StartSim("D", ModelD); }
};

TEST_F(IoModelDTest, DigitalPageOfModelDWritesItsPortsAndTheExtensionsAreForced)
{
    openPage("TSIOD");
    const WriteRow rows[] = {
        {"GPIO5.DO", 16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, "SpeedButton7", 65535, 65535},
        {"GPIO3.DO", 8, {2}, "SpeedButton5", 2, 255},
        {"GPIO6.DO", 16, {16}, "SpeedButton8", 32768, 65535},
    };
    for (const WriteRow& r : rows) {
        SCOPED_TRACE(r.port);
        setOutputs(r.port, r.bits, r.on);
        sim().clearRequestLog();
        click(r.button);
        const auto set = callsOf("GPIODigitalSet");
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(set[0][1], std::to_string(r.mask));
        EXPECT_EQ(set[0][2], std::to_string(r.value));
        EXPECT_EQ(sim().digital(r.port), r.value);
    }
    sim().setDigitalInput("GPIO6.DI", 0x100);
    click("Buttonles");
    EXPECT_EQ(w<QLineEdit>("GPIO6.DI.9")->text(), "1");
    EXPECT_TRUE(ctx.lines.empty());

    host.reset();
    openPage("TabSheet1");
    EXPECT_TRUE(w<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_FALSE(w<QCheckBox>("CheckBox1")->isVisible());
}


// The digital page of a D or RL controller keeps polling while another page is shown, until the
// window closes.
TEST_F(IoModelDTest, TheDigitalPollOfModelDGoesOnWhileAnotherPageIsShown)
{
    ConsoleOnIoPage console("TSIOD", "SpeedButton4", "GPIO6.DI.9");
    sim().setDigitalInput("GPIO6.DI", 0);
    EXPECT_TRUE(waitFor([&] { return console.field->text() == "0"; }));
    console.showGeneralPage();
    EXPECT_TRUE(console.polling("SpeedButton4"));
    sim().setDigitalInput("GPIO6.DI", 0x100);
    EXPECT_TRUE(waitFor([&] { return console.field->text() == "1"; }));
    console.window->close();
    sim().clearRequestLog();
    QTest::qWait(300);
    EXPECT_TRUE(callsOf("GPIODigitalGet").empty());
}

}  // namespace
}  // namespace mvx::test
