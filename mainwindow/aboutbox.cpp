#include "aboutbox.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace mvx {

namespace {
QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}
}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("A propos");
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    auto* grid = new QGridLayout(panel);
    const QColor colours[4] = {QColor(40, 60, 140), QColor(200, 120, 20), QColor(30, 140, 70), QColor(150, 30, 30)};
    for (int i = 0; i < 4; ++i) {
        QPixmap pm(48, 48);
        pm.fill(colours[i]);
        auto* img = label(panel, ("Image" + std::to_string(i + 1)).c_str(), QString());
        img->setPixmap(pm);
        img->installEventFilter(this);
        mImages[static_cast<std::size_t>(i)] = img;
        grid->addWidget(img, i / 2, 2 + i % 2);
    }
    grid->addWidget(label(panel, "ProductName", "MOVANTRIX"), 0, 0, 1, 2);
    grid->addWidget(label(panel, "Version", "Version 3.00"), 1, 0);
    grid->addWidget(label(panel, "Label2", "Oct. 2024"), 1, 1);
    mNotice = label(panel, "Comments", "Copyright MOVANTRIX");
    mNotice->installEventFilter(this);
    grid->addWidget(mNotice, 2, 0, 1, 2);
    grid->addWidget(label(panel, "Label6", "Compatible with KVX :"), 3, 0, 1, 2);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    // With a buddy, "&&" shows as one "&".
    mLabel7 = label(panel, "Label7", "C, Q && RL");
    mLabel9 = label(panel, "Label9", "C, Q, RL && D");
    mLabel7->setBuddy(ok);
    mLabel9->setBuddy(ok);
    grid->addWidget(mLabel7, 4, 0, 1, 2);
    grid->addWidget(mLabel9, 5, 0, 1, 2);
    grid->addWidget(label(panel, "Label8", "Controllers"), 6, 0, 1, 2);
    top->addWidget(panel);
    top->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    mImages[0]->setVisible(false);
    mLabel7->setVisible(false);
    mLabel9->setVisible(true);
    adjustSize();
    // Centred on the screen.
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonDblClick && watched != mImages[0] && watched != mNotice) {
        for (QLabel* img : mImages) {
            if (watched == img) {
                Image2DblClick();
                return true;
            }
        }
    }
    if (e->type() == QEvent::MouseButtonPress && watched == mNotice) {
        NoticeClick();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void TAboutBox::Image2DblClick()
{
    if (mHandler) mHandler(true);
}

void TAboutBox::NoticeClick()
{
    if (mHandler) mHandler(false);
}

}  // namespace mvx
