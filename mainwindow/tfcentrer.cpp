#include "tfcentrer.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mvx {

TFcentrer::TFcentrer(QWidget* parent) : QDialog(parent)
{
    setObjectName("Fcentrer");
    setWindowTitle("center on (X,Y,Z)");
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const char* names[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        auto* label = new QLabel(names[a], this);
        label->setObjectName(QString("Label%1").arg(a + 1));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString("Edit%1").arg(a + 1));
        form->addRow(label, edit);
        mEdits[static_cast<std::size_t>(a)] = edit;
    }
    top->addLayout(form);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BitBtn1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("BitBtn2");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFcentrer::Ask(std::array<std::string, 3>& xyz)
{
    for (std::size_t a = 0; a < 3; ++a) mEdits[a]->setText(QString::fromStdString(xyz[a]));
    mEdits[0]->setFocus();
    mEdits[0]->selectAll();
    if (exec() != QDialog::Accepted) return false;
    for (std::size_t a = 0; a < 3; ++a) xyz[a] = mEdits[a]->text().trimmed().toStdString();
    return true;
}

}  // namespace mvx
