#include "tfaxes.h"

#include "core/common.h"
#include "core/inifile.h"
#include "axessettings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace mvx {

namespace {
constexpr const char* kDefaultAxis[3] = {"X", "Y", "Z"};
}  // namespace

PositionerName SplitPositionerName(const std::string& full)
{
    PositionerName n;
    const std::size_t dot = full.find('.');
    if (dot == std::string::npos) {
        n.Axis = full;
    } else {
        n.Group = full.substr(0, std::min<std::size_t>(dot, 25));
        n.Axis = full.substr(dot + 1);
    }
    std::erase(n.Axis, ' ');
    return n;
}

TFaxes::TFaxes(QWidget* parent) : QDialog(parent)
{
    setObjectName("Faxes");
    setWindowTitle("Axes setup");
    setModal(true);
    auto* top = new QVBoxLayout(this);
    const char* titles[3] = {"Axis X", "Axis Y", "Axis Z"};
    for (int a = 0; a < 3; ++a) {
        auto* box = new QGroupBox(titles[a], this);
        box->setObjectName(QString("GroupBox%1").arg(a + 1));
        auto* l = new QHBoxLayout(box);
        auto* list = new QComboBox(box);
        list->setObjectName(QString("ComboBox%1").arg(a + 1));
        l->addWidget(list);
        top->addWidget(box);
        mBoxes[static_cast<std::size_t>(a)] = box;
        mLists[static_cast<std::size_t>(a)] = list;
    }
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtn1");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtn2");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TFaxes::setGroupShape(bool xyOnly, int axisCount)
{
    mXyOnly = xyOnly;
    mAxisCount = axisCount;
    mBoxes[2]->setVisible(!xyOnly);
}

void TFaxes::select(QComboBox* list, const std::string& name)
{
    if (name.empty()) return;
    const QString q = QString::fromStdString(name);
    int i = list->findText(q);
    if (i < 0) {
        // A stored name the configuration does not list (no controller yet) stays choosable.
        list->addItem(q);
        i = list->count() - 1;
    }
    list->setCurrentIndex(i);
}

void TFaxes::FormCreate()
{
    std::vector<std::string> names;
    if (mSource) names = mSource();
    for (QComboBox* list : mLists) {
        const QString current = list->currentText();
        list->clear();
        for (const std::string& n : names) list->addItem(QString::fromStdString(n));
        if (!current.isEmpty()) select(list, current.toStdString());
    }
    if (IniFile* ini = SettingsIni()) {
        for (int a = 0; a < 3; ++a) {
            if (a == 2 && mXyOnly) break;
            select(mLists[static_cast<std::size_t>(a)], ReadAxisPositioner(*ini, a));
        }
    }
    mBoxes[2]->setVisible(!mXyOnly);
    takeNames();
}

void TFaxes::takeNames()
{
    for (int a = 0; a < 3; ++a) {
        if (a == 2 && mXyOnly) break;
        const std::string full = mLists[static_cast<std::size_t>(a)]->currentText().toStdString();
        const PositionerName n = SplitPositionerName(full);
        mAxisNames[static_cast<std::size_t>(a)] = n.Axis.empty() ? kDefaultAxis[a] : n.Axis;
        if (a == 0) mGroupName = n.Group;
    }
}

void TFaxes::BitBtn1Click()
{
    takeNames();
    if (IniFile* ini = SettingsIni()) {
        for (int a = 0; a < 3; ++a)
            WriteAxisPositioner(*ini, a, mLists[static_cast<std::size_t>(a)]->currentText().toStdString());
    }
    accept();
}

void TFaxes::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    mBoxes[2]->setEnabled(mAxisCount == 3);
}

}  // namespace mvx
