// The splash window: on screen while the windows are built, taken down by its timer once
// the event loop runs and at least 2 s after it was shown.
//
// Thread contract: the GUI thread.
#pragma once

#include <QTimer>
#include <QWidget>

namespace shell {

// The second line of the splash and about windows.
inline constexpr const char* SecondeLigne = "Oscilloscope et générateur de signaux";
inline constexpr int DureeLogo = 2000; // ms

class TFormLogo : public QWidget {
    Q_OBJECT
public:
    explicit TFormLogo(QWidget* parent = nullptr);

    // Shows the window and paints it at once, before the event loop runs.
    void MontreMaintenant();

    QTimer& Timer1() { return timer1_; }

protected:
    void showEvent(QShowEvent* evenement) override;
    void paintEvent(QPaintEvent* evenement) override;

private:
    void Timer1Timer();

    QTimer timer1_;
};

} // namespace shell
