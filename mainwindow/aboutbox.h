#pragma once
// The "A propos" window: name, version and the controller models served. Double-clicking one
// of its pictures reveals the main window's diagnostic views; clicking the notice hides them.

#include <QDialog>

#include <functional>

class QLabel;

namespace mvx {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Called with true by a double click on a picture, with false by a click on the notice.
    void setServiceViewsHandler(std::function<void(bool)> handler) { mHandler = std::move(handler); }

    void Image2DblClick();
    void NoticeClick();

    QLabel* image(int n) const { return mImages[static_cast<std::size_t>(n - 1)]; }
    QLabel* notice() const { return mNotice; }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::function<void(bool)> mHandler;
    std::array<QLabel*, 4> mImages{};
    QLabel* mNotice = nullptr;
    QLabel* mLabel7 = nullptr;
    QLabel* mLabel9 = nullptr;
};

}  // namespace mvx
