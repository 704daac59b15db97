#include "opendialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>

namespace mvx {

std::string OpenFileAskReadOnly(QWidget* parent, const std::string& startFolder, const std::string& filter,
                                bool& readOnly)
{
    readOnly = false;
    QFileDialog dlg(parent, QString(), QString::fromStdString(startFolder), QString::fromStdString(filter));
    dlg.setObjectName(kOpenDialogName);
    dlg.setFileMode(QFileDialog::ExistingFile);
    // The box lives in the dialog's own layout, which only the built-in dialog has.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* box = new QCheckBox(QStringLiteral("Ouvrir en lecture seule"), &dlg);
    box->setObjectName(kOpenReadOnlyBoxName);
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    readOnly = box->isChecked();
    return dlg.selectedFiles().first().toStdString();
}

}  // namespace mvx
