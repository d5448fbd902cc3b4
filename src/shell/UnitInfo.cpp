#include "shell/UnitInfo.h"

#include "shell/ULogo.h"
#include "shell/Version.h"
#include "ui_UnitInfo.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>

namespace shell {

TFormInfo::TFormInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TFormInfo>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    if (const QScreen* ecran = QGuiApplication::primaryScreen())
        move(ecran->geometry().center() - rect().center());
    Ouvre = [](const QString& adresse) { QDesktopServices::openUrl(QUrl(adresse)); };

    // FormCreate: the links, in highlight text on the button face.
    for (QLabel* lien : {ui_->LabelHomePage, ui_->LabelMail}) {
        QPalette couleurs = lien->palette();
        couleurs.setColor(QPalette::Window, couleurs.color(QPalette::Button));
        couleurs.setColor(QPalette::WindowText, couleurs.color(QPalette::HighlightedText));
        lien->setPalette(couleurs);
        QFont police("MS Sans Serif");
        police.setPixelSize(13);
        lien->setFont(police);
        lien->installEventFilter(this);
    }
    ui_->LabelHomePage->setText(AdressePageWeb());
    ui_->LabelMail->setText(AdresseMail());
}

TFormInfo::~TFormInfo() = default;

void TFormInfo::LabelHomePageClick() {
    Ouvre(AdressePageWeb());
}

void TFormInfo::LabelMailClick() {
    Ouvre(QStringLiteral("mailto:") + AdresseMail() + QStringLiteral("?subject=Tamburella"));
}

bool TFormInfo::eventFilter(QObject* objet, QEvent* evenement) {
    if (evenement->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(evenement)->button() == Qt::LeftButton) {
        if (objet == ui_->LabelHomePage) LabelHomePageClick();
        if (objet == ui_->LabelMail) LabelMailClick();
    }
    return QDialog::eventFilter(objet, evenement);
}

void TFormInfo::paintEvent(QPaintEvent* evenement) {
    QDialog::paintEvent(evenement);
    QPainter p(this);
    p.setBrush(Qt::NoBrush);
    p.setPen(Qt::black);
    QFont police("Times New Roman");
    police.setBold(true);
    const auto texte = [&](int x, int y, int taille, const QString& t) {
        police.setPointSize(taille);
        p.setFont(police);
        p.drawText(QRect(x, y, 1000, 200), Qt::AlignLeft | Qt::AlignTop, t);
    };
    texte(70, 10, 25, TitreLogiciel());
    texte(20, 50, 15, QString::fromUtf8(SecondeLigne));
    police.setBold(false);
    texte(60, 135, 14, QString());
}

} // namespace shell
