// The about window: the program's name and two link labels, the web page and the mail
// address, opened by the desktop. Shown modally from the control window's menu.
//
// Thread contract: the GUI thread.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TFormInfo;
}

namespace shell {

class TFormInfo : public QDialog {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);
    ~TFormInfo() override;

    // How an address is opened: QDesktopServices unless replaced (tests). Its result is
    // ignored: nothing is said when no browser or mail program answers.
    std::function<void(const QString&)> Ouvre;

    Ui::TFormInfo& Controles() { return *ui_; }
    void LabelHomePageClick();
    void LabelMailClick();

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;
    void paintEvent(QPaintEvent* evenement) override;

private:
    std::unique_ptr<Ui::TFormInfo> ui_;
};

} // namespace shell
