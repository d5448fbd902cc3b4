#include "generator/UGene.h"

#include "platform/Ini.h"
#include "ui_UGene.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

namespace generator {

namespace {

QString Q(const std::string& texte) {
    return QString::fromStdString(texte);
}

std::string S(const QString& texte) {
    return texte.toStdString();
}

constexpr Champ TousLesChamps[] = {
    Champ::EditFreq, Champ::EditNiveau, Champ::EditFonction,    Champ::Ea,       Champ::Eb,
    Champ::Editf1,   Champ::Editf2,     Champ::EditNiveauSweep, Champ::EditDuree};

} // namespace

void TGeneForm::MessageModal(QWidget* parent, const MessageGene& m) {
    QMessageBox::Icon icone = QMessageBox::NoIcon;
    if (m.Symbole == Icone::Erreur) icone = QMessageBox::Critical;
    if (m.Symbole == Icone::Exclamation) icone = QMessageBox::Warning;
    QMessageBox boite(icone, Q(m.Titre), Q(m.Texte).replace('\r', '\n'), QMessageBox::Ok, parent);
    boite.exec();
}

TGeneForm::TGeneForm(ContexteGene& contexte, std::string cheminReglages, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TGeneForm>()), contexte_(contexte), panneau_(contexte),
      chemin_(std::move(cheminReglages)) {
    ui_->setupUi(this);
    MontreMessage = [this](const MessageGene& m) { MessageModal(this, m); };

    // Fields and buttons: bold "MS Sans Serif", 11 pixels.
    QFont police("MS Sans Serif");
    police.setPixelSize(11);
    police.setBold(true);
    for (QWidget* w : findChildren<QWidget*>())
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
            qobject_cast<QComboBox*>(w))
            w->setFont(police);

    menu_ = new QMenu(this);
    auto* groupe = new QActionGroup(this);
    for (QAction* a : {ui_->Predefini, ui_->Utilisateur, ui_->Sweep1}) {
        groupe->addAction(a);
        menu_->addAction(a);
        addAction(a);
    }
    menu_->addAction(ui_->MenuItemOptions);
    addAction(ui_->MenuItemOptions);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // The formula field has a grey background.
    ui_->EditFonction->setStyleSheet(QStringLiteral("background: #c0c0c0;"));

    // The window sees every key first, and decides whether hints show.
    // (Not the pop-up menu: Enter there chooses an item.)
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        if (w->window() == this) w->installEventFilter(this);

    timer1_.setInterval(100);
    Relie();

    // FormCreate.
    platform::FichierIni ini(chemin_);
    const panel::ReglagesGene r = panel::LitReglagesGene(ini, contexte_.ContexteReglages());
    move(r.Fenetre.Gauche, r.Fenetre.Haut);
    panneau_.FormCreate(r);
    ui_->ComboBoxPredef->setCurrentIndex(panneau_.Predefini());
    for (Champ c : TousLesChamps)
        Edit(c)->setText(Q(*Texte(c)));
    Affiche();
}

TGeneForm::~TGeneForm() {
    // The output never outlives the window that drives it.
    if (!ferme_) panneau_.FormCloseQuery();
    timer1_.stop();
    LitChamps();
    const auto erreur = panel::EnregistreReglages(chemin_, panneau_.FormDestroy({x(), y()}));
    if (erreur) MontreMessage(MessageGene{*erreur, S(windowTitle()), Icone::Erreur});
}

void TGeneForm::Relie() {
    Ui::TGeneForm& u = *ui_;
    connect(u.Predefini, &QAction::triggered, this,
            [this] { Lance([this] { return panneau_.PredefiniClick(); }); });
    connect(u.Utilisateur, &QAction::triggered, this,
            [this] { Lance([this] { return panneau_.UtilisateurClick(); }); });
    connect(u.Sweep1, &QAction::triggered, this,
            [this] { Lance([this] { return panneau_.Sweep1Click(); }); });
    connect(u.MenuItemOptions, &QAction::triggered, this, [this] {
        if (MontreOptions) MontreOptions();
    });
    connect(u.ComboBoxPredef, &QComboBox::activated, this, [this](int index) {
        Lance([this, index] { return panneau_.ComboBoxPredefChange(index); });
    });
    connect(u.Calcul, &QPushButton::clicked, this,
            [this] { Lance([this] { return panneau_.CalculClick(); }); });
    connect(u.Go, &QPushButton::clicked, this,
            [this] { Lance([this] { return panneau_.GoClick(); }); });
    connect(u.Stop, &QPushButton::clicked, this, [this] {
        Lance([this] {
            panneau_.StopClick();
            return ResultatGene{};
        });
    });
    connect(u.GoSweep, &QPushButton::clicked, this,
            [this] { Lance([this] { return panneau_.GoSweepClick(); }); });
    connect(u.StopSweep, &QPushButton::clicked, this,
            [this] { Lance([this] { return panneau_.StopSweepClick(); }); });
    connect(u.ButtonPause, &QPushButton::clicked, this, [this] {
        Lance([this] {
            panneau_.ButtonPauseClick();
            return ResultatGene{};
        });
    });
    connect(u.Quitter, &QPushButton::clicked, this, &QWidget::close);
    connect(u.Button3, &QPushButton::clicked, this, &QWidget::close);
    connect(&timer1_, &QTimer::timeout, this,
            [this] { Lance([this] { return panneau_.Timer1Timer(); }); });
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { menu_->popup(mapToGlobal(p)); });
}

template <class Gestionnaire>
void TGeneForm::Lance(Gestionnaire gestionnaire) {
    LitChamps();
    Execute(gestionnaire());
}

QLineEdit* TGeneForm::Edit(Champ champ) const {
    switch (champ) {
    case Champ::EditFreq:
        return ui_->EditFreq;
    case Champ::EditNiveau:
        return ui_->EditNiveau;
    case Champ::EditFonction:
        return ui_->EditFonction;
    case Champ::Ea:
        return ui_->Ea;
    case Champ::Eb:
        return ui_->Eb;
    case Champ::Editf1:
        return ui_->Editf1;
    case Champ::Editf2:
        return ui_->Editf2;
    case Champ::EditNiveauSweep:
        return ui_->EditNiveauSweep;
    case Champ::EditDuree:
        return ui_->EditDuree;
    case Champ::Aucun:
        break;
    }
    return nullptr;
}

std::string* TGeneForm::Texte(Champ champ) {
    ChampsSignal& s = panneau_.Champs;
    ChampsSweep& b = panneau_.ChampsBalayage;
    switch (champ) {
    case Champ::EditFreq:
        return &s.Frequence;
    case Champ::EditNiveau:
        return &s.Niveau;
    case Champ::EditFonction:
        return &s.Fonction;
    case Champ::Ea:
        return &s.a;
    case Champ::Eb:
        return &s.b;
    case Champ::Editf1:
        return &b.f1;
    case Champ::Editf2:
        return &b.f2;
    case Champ::EditNiveauSweep:
        return &b.Niveau;
    case Champ::EditDuree:
        return &b.Duree;
    case Champ::Aucun:
        break;
    }
    return nullptr;
}

void TGeneForm::LitChamps() {
    for (Champ c : TousLesChamps)
        *Texte(c) = S(Edit(c)->text());
}

void TGeneForm::Execute(const ResultatGene& r) {
    for (Champ c : TousLesChamps)
        if (r.Reecrits & Bit(c)) Edit(c)->setText(Q(*Texte(c)));
    if (QLineEdit* e = Edit(r.Fautif); e && e->isEnabled() && e->isVisible()) {
        e->setFocus();
        e->selectAll();
    }
    if (r.Lecture) ui_->Panel4->setText(Q(*r.Lecture));
    if (r.Minuterie) {
        if (*r.Minuterie)
            timer1_.start();
        else
            timer1_.stop();
    }
    Affiche();
    if (r.Message) MontreMessage(*r.Message);
    if (r.FermerFenetre) close();
}

void TGeneForm::Affiche() {
    const ControlesGene& c = panneau_.Controles();
    Ui::TGeneForm& u = *ui_;
    u.Predefini->setChecked(c.Predefini);
    u.Utilisateur->setChecked(c.Utilisateur);
    u.Sweep1->setChecked(c.Sweep1);
    u.Label1->setEnabled(c.Label1);
    u.EditFonction->setEnabled(c.EditFonction);
    u.EditFonction->setVisible(c.EditFonctionVisible);
    u.Label2->setEnabled(c.Label2);
    u.Label3->setEnabled(c.Label3);
    u.Ea->setEnabled(c.Ea);
    u.Eb->setEnabled(c.Eb);
    u.ComboBoxPredef->setEnabled(c.ComboBoxPredef);
    u.ComboBoxPredef->setVisible(c.ComboBoxPredefVisible);
    u.Label4->setEnabled(c.Label4);
    u.EditFreq->setEnabled(c.EditFreq);

    const bool sweep = c.Panneau == Disposition::Sweep;
    QFrame* panneau = sweep ? u.Panel3 : u.Panel2;
    u.Panel2->setVisible(!sweep);
    u.Panel3->setVisible(sweep);
    panneau->move(0, 0);
    setFixedSize(panneau->size());
    setWindowTitle(QString::fromUtf8(c.Titre));
    DessineApercu();
}

void TGeneForm::DessineApercu() {
    const DessinApercu d = panneau_.Apercu();
    const QSize taille = ui_->Image1->size();
    if (image_.size() != taille) image_ = QImage(taille, QImage::Format_RGB32);
    image_.fill(Qt::black);
    QPainter p(&image_);
    if (d.Erreur) {
        QFont police(PoliceApercu);
        police.setPointSize(TaillePoliceApercu);
        p.setFont(police);
        p.setPen(Qt::white);
        p.drawText(QRect(5, 5, taille.width(), taille.height()), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromUtf8(TexteErreurApercu));
    } else {
        p.setPen(QColor::fromRgb(CouleurGrilleApercu));
        for (const SegmentApercu& s : d.Grille)
            p.drawLine(s.De.x, s.De.y, s.A.x, s.A.y);
        p.setPen(Qt::white);
        QPolygon ligne;
        for (int32_t j = 0; j < d.NbPoints; ++j)
            ligne << QPoint(d.Points[static_cast<size_t>(j)].x, d.Points[static_cast<size_t>(j)].y);
        p.drawPolyline(ligne);
    }
    p.end();
    ui_->Image1->setPixmap(QPixmap::fromImage(image_));
}

void TGeneForm::AfficheBulles(bool bulles) {
    contexte_.BullesGene = bulles;
}

bool TGeneForm::eventFilter(QObject* objet, QEvent* evenement) {
    if (evenement->type() == QEvent::ToolTip) return !panneau_.Bulles();
    if (evenement->type() != QEvent::KeyPress) return QWidget::eventFilter(objet, evenement);
    auto* touche = static_cast<QKeyEvent*>(evenement);
    const Qt::KeyboardModifiers mods = touche->modifiers() & ~Qt::KeypadModifier;
    if (mods == (Qt::ShiftModifier | Qt::ControlModifier)) {
        menu_->popup(pos());
        return false;
    }
    if (touche->key() == Qt::Key_Return || touche->key() == Qt::Key_Enter) {
        Lance([this] { return panneau_.ToucheEntree(); });
        return true;
    }
    if (touche->text() == QStringLiteral(".")) {
        if (auto* edit = qobject_cast<QLineEdit*>(objet)) {
            edit->insert(QString(QChar::fromLatin1(PanneauGene::CaractereSaisi('.'))));
            return true;
        }
    }
    return QWidget::eventFilter(objet, evenement);
}

void TGeneForm::showEvent(QShowEvent* evenement) {
    QWidget::showEvent(evenement);
    // A window restored from its icon was never hidden: nothing stopped, nothing to redo.
    if (evenement->spontaneous() || !ferme_) return;
    ferme_ = false;
    Lance([this] { return panneau_.FormShow(); });
}

void TGeneForm::closeEvent(QCloseEvent* evenement) {
    timer1_.stop();
    panneau_.FormCloseQuery();
    ferme_ = true;
    evenement->accept();
}

} // namespace generator
