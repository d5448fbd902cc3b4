#include "shell/ULogo.h"

#include "shell/Version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

namespace shell {

TFormLogo::TFormLogo(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setFixedSize(299, 106);
    if (const QScreen* ecran = QGuiApplication::primaryScreen())
        move(ecran->geometry().center() - rect().center());
    timer1_.setInterval(DureeLogo);
    timer1_.setSingleShot(true);
    // A coarse timer may fire 5 % early: the splash must never stay less than its time.
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, &TFormLogo::Timer1Timer);
}

void TFormLogo::MontreMaintenant() {
    show();
    // The window must be mapped before a paint reaches the screen; the loop does not run
    // yet, so its events are handled here (never for more than half a second).
    QElapsedTimer attente;
    attente.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && attente.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(2);
    }
    repaint();
}

void TFormLogo::showEvent(QShowEvent* evenement) {
    QWidget::showEvent(evenement);
    // A timer fires only from the event loop: the window stays at least until it runs.
    timer1_.start();
}

void TFormLogo::Timer1Timer() {
    hide();
    deleteLater();
    timer1_.stop();
}

void TFormLogo::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int W = width(), H = height();
    p.fillRect(rect(), palette().color(QPalette::Window));
    // A two-pixel bevel, raised.
    p.setPen(QPen(QColor(0xFF, 0xFF, 0xFF), 1));
    p.drawPolyline(QPolygon({{0, H - 1}, {0, 0}, {W - 1, 0}}));
    p.setPen(palette().color(QPalette::Shadow));
    p.drawPolyline(QPolygon({{W - 1, 0}, {W - 1, H - 1}, {0, H - 1}}));
    p.setPen(palette().color(QPalette::Midlight));
    p.drawPolyline(QPolygon({{1, H - 2}, {1, 1}, {W - 2, 1}}));
    p.setPen(palette().color(QPalette::Dark));
    p.drawPolyline(QPolygon({{W - 2, 1}, {W - 2, H - 2}, {1, H - 2}}));

    p.setBrush(Qt::NoBrush);
    p.setPen(Qt::black);
    QFont police("Times New Roman");
    police.setPointSize(25);
    police.setBold(true);
    p.setFont(police);
    const auto texte = [&p](int x, int y, const QString& t) {
        p.drawText(QRect(x, y, 1000, 200), Qt::AlignLeft | Qt::AlignTop, t);
    };
    texte(30, 10, TitreLogiciel());
    police.setPointSize(12);
    p.setFont(police);
    texte(10, 45, QString::fromUtf8(SecondeLigne));
    police.setBold(false);
    police.setItalic(true);
    p.setFont(police);
    texte(70, 70, QString());
}

} // namespace shell
