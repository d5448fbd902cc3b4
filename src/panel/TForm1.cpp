#include "panel/TForm1.h"

#include "engine/Entrees.h"
#include "panel/Signal.h"
#include "platform/Ini.h"
#include "ui_TForm1.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>

#include <array>

namespace panel {

namespace {

constexpr auto Relache = std::memory_order_relaxed;

QString Q(const std::string& texte) {
    return QString::fromStdString(texte);
}

// "\r" in a message or a hint is a line break.
QString Lignes(const char* texte) {
    return QString::fromUtf8(texte).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void MontreMessage(QWidget* parent, const char* titre, std::string_view texte) {
    QString message = QString::fromUtf8(texte.data(), static_cast<qsizetype>(texte.size()));
    QMessageBox::critical(parent, QString::fromUtf8(titre),
                          message.replace(QLatin1Char('\r'), QLatin1Char('\n')), QMessageBox::Ok);
}

} // namespace

// The scope window as the model's handlers see it.
class TForm1::Scope final : public ScopePanneau {
public:
    explicit Scope(display::TAffichage& s) : s_(s) {}

    engine::EtatScope& Etat() override { return s_.Etat(); }
    bool EnPause() const override { return s_.EnPause(); }
    int32_t LargeurClient() const override { return s_.LargeurClient(); }
    int32_t PointsTrace() const override { return s_.PointsTrace(); }
    MesuresScope Mesures() const override {
        const engine::EtatScope& e = s_.Etat();
        MesuresScope m;
        m.Xcurs1 = e.Xcurs1;
        m.Xcurs2 = e.Xcurs2;
        m.Ycurs1 = e.Ycurs1;
        m.Ycurs2 = e.Ycurs2;
        m.HauteurClient = s_.HauteurClient();
        m.DebutSpectre = e.DebutSpectre.load(Relache);
        m.PasX = e.PasX;
        m.PasY = e.PasY;
        m.PixelsParPoint = s_.PixelsParPoint();
        return m;
    }
    void Calibrer() override { s_.Calibrer(); }
    void RecalculeImage() override { s_.RecalculeImage(); }
    void RetraceImage() override { s_.RetraceImage(); }
    void EffaceCurseurs() override { s_.EffaceCurseurs(); }
    void DessineCurseurs() override { s_.DessineCurseurs(); }
    void PleinEcran(bool plein) override { s_.PleinEcran(plein); }
    void Arreter() override { s_.Arreter(); }
    void Reprendre() override { s_.Reprendre(); }

private:
    display::TAffichage& s_;
};

TForm1::TForm1(engine::ReglagesAffichage& affichage, engine::ReglagesEntree& entree,
               const engine::TablesEntrees& tables, std::string cheminReglages, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TForm1>()), entree_(entree), tables_(tables),
      cheminReglages_(std::move(cheminReglages)), modele_(affichage, entree) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("Form1"));
    // Fixed size, minimise box, no maximise.
    setFixedSize(378, 150);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont gras = font();
    gras.setBold(true);
    setFont(gras);

    // The readout panel: lime on black.
    QPalette p = ui_->Afficheur->palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, QColor(0, 255, 0));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0, 128, 0));
    ui_->Afficheur->setPalette(p);
    ui_->Afficheur->setAutoFillBackground(true);
    QFont grand(QStringLiteral("Arial"));
    grand.setPixelSize(18);
    grand.setBold(true);
    ui_->LabelH->setFont(grand);
    ui_->LabelV->setFont(grand);
    QFont petit(QStringLiteral("MS Sans Serif"));
    petit.setPixelSize(11);
    for (QLabel* l : {ui_->LabelSignal, ui_->LabelCurseursActifs, ui_->FreqR, ui_->LabelNivDecl})
        l->setFont(petit);

    // The pointing hand of the clickable controls.
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->LabelSignal, ui_->LabelCurseursActifs, ui_->LabelH, ui_->LabelV, ui_->EchelleVert,
             ui_->EchelleHor, ui_->ZeroBar, ui_->trackbarDepF, ui_->Pause, ui_->Quitter,
             ui_->PEcran, ui_->TrackBarNivDecl})
        w->setCursor(Qt::PointingHandCursor);
    ConstruitMenu();
    Connecte();
    passerelle_ = std::make_unique<display::Passerelle>(*this);
}

TForm1::~TForm1() {
    // Before the hand-over goes: a failure it may still post is then simply dropped.
    if (enregistrement_.joinable()) enregistrement_.join();
}

void TForm1::ConnecteScope(display::TAffichage* scope) {
    affichage_ = scope;
    scope_ = scope ? std::make_unique<Scope>(*scope) : nullptr;
    modele_.ConnecteScope(scope_.get());
}

QAction* TForm1::NouvelleAction(QMenu* menu, const std::string& nom, const QString& texte,
                                bool cochable) {
    auto* action = new QAction(texte, this);
    action->setObjectName(Q(nom));
    action->setCheckable(cochable);
    menu->addAction(action);
    // Shortcuts work while this window has the focus.
    addAction(action);
    actions_[nom] = action;
    return action;
}

QAction* TForm1::Action(const std::string& nom) const {
    const auto it = actions_.find(nom);
    return it == actions_.end() ? nullptr : it->second;
}

void TForm1::Crochet(const std::function<void()>& crochet) {
    if (crochet) crochet();
}

template <class Gestionnaire>
void TForm1::Execute(Gestionnaire gestionnaire) {
    gestionnaire();
    Synchronise();
}

void TForm1::ConstruitMenu() {
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("MenuOscillo"));
    auto commande = [this](QMenu* m, const std::string& nom, const char* texte, QKeySequence touche,
                           auto gestionnaire) {
        QAction* a = NouvelleAction(m, nom, QString::fromUtf8(texte), false);
        if (!touche.isEmpty()) a->setShortcut(touche);
        connect(a, &QAction::triggered, this, [this, gestionnaire] { gestionnaire(); });
        return a;
    };
    auto coche = [this](QMenu* m, const std::string& nom, const QString& texte, QKeySequence touche,
                        auto gestionnaire) {
        QAction* a = NouvelleAction(m, nom, texte, true);
        if (!touche.isEmpty()) a->setShortcut(touche);
        connect(a, &QAction::triggered, this, [this, gestionnaire] { Execute(gestionnaire); });
        return a;
    };
    auto sous = [](QMenu* parent, const char* nom, const char* texte) {
        QMenu* m = parent->addMenu(QString::fromUtf8(texte));
        m->setObjectName(QString::fromUtf8(nom));
        return m;
    };
    Panneau& p = modele_;

    QMenu* fichier = sous(menu_, "Fichier1", "&Fichier");
    commande(fichier, "MenuItemEnregistrer", "&Enregistrer Signal",
             QKeySequence(Qt::CTRL | Qt::Key_S), [this] { MenuItemEnregistrerClick(); });
    commande(fichier, "MenuItemCharger", "&Charger Signal", QKeySequence(Qt::CTRL | Qt::Key_L),
             [this] { MenuItemChargerClick(); });
    commande(fichier, "Mtafichier1", "&Métafichier...", QKeySequence(Qt::CTRL | Qt::Key_M),
             [this] { Crochet(Crochets.Mtafichier1); });
    commande(fichier, "Imprimer1", "&Imprimer...", QKeySequence(Qt::CTRL | Qt::Key_I),
             [this] { Crochet(Crochets.Imprimer1); });

    QMenu* edition = sous(menu_, "Edition1", "&Edition");
    commande(edition, "Copier1", "&Copier", QKeySequence(Qt::CTRL | Qt::Key_C),
             [this] { Crochet(Crochets.Copier1); });

    QMenu* affichage = sous(menu_, "Affichage1", "&Affichage");
    // Alt+Enter, set at creation (the keypad's Enter too).
    QAction* plein = coche(affichage, "Pleincran1", QStringLiteral("&Plein écran"), {},
                           [&p] { p.Pleincran1Click(); });
    plein->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    affichage->addSeparator();
    coche(affichage, "Signal2", QStringLiteral("S&ignal"), QKeySequence(Qt::Key_F2),
          [&p] { p.Signal2Click(); });
    coche(affichage, "Spectre2", QStringLiteral("Sp&ectre"), QKeySequence(Qt::Key_F3),
          [&p] { p.Spectre2Click(); });
    affichage->addSeparator();
    coche(affichage, "MenuItemGaucheAffiche", QStringLiteral("&Gauche"), QKeySequence(Qt::Key_F4),
          [&p] { p.MenuItemCanalAfficheClick(1); });
    coche(affichage, "MenuItemDroiteAffiche", QStringLiteral("&Droite"), QKeySequence(Qt::Key_F5),
          [&p] { p.MenuItemCanalAfficheClick(2); });

    QMenu* signal = sous(menu_, "Signal1", "S&ignal");
    QMenu* synchro = sous(signal, "Synchro1", "&Synchro");
    coche(synchro, "Synchrouniverselle1", QStringLiteral("Universelle"), {},
          [&p] { p.Synchrouniverselle1Click(); });
    coche(synchro, "Dclenchement1", QStringLiteral("Déclenchement"), {},
          [&p] { p.Dclenchement1Click(); });
    coche(synchro, "MenuItemSyncNone", QStringLiteral("Aucune"), {},
          [&p] { p.MenuItemSyncNoneClick(); });
    coche(synchro, "MenuItemSyncMemoire", QStringLiteral("Décl. Unique"), {},
          [&p] { p.MenuItemSyncMemoireClick(); });
    synchro->addSeparator();
    coche(synchro, "Frontmontant1", QStringLiteral("Front Montant"), {},
          [&p] { p.Frontmontant1Click(); });
    coche(synchro, "FrontDescendant1", QStringLiteral("Front Descendant"), {},
          [&p] { p.FrontDescendant1Click(); });
    synchro->addSeparator();
    coche(synchro, "MenuItemSyncGauche", QStringLiteral("Gauche"), {},
          [&p] { p.MenuItemSyncCanalClick(0); });
    coche(synchro, "MenuItemSyncDroite", QStringLiteral("Droite"), {},
          [&p] { p.MenuItemSyncCanalClick(1); });
    QMenu* ralenti = sous(signal, "MenuItemRalentisseurS", "&Ralentisseur");
    coche(ralenti, "ItemsRalenti0", QStringLiteral("Aucun"), {},
          [&p] { p.MenuItemRalentisseurSClick(0); });
    for (int32_t i = 7; i >= 1; --i)
        coche(ralenti, "ItemsRalenti" + std::to_string(i), QStringLiteral("1/%1s").arg(1 << i), {},
              [&p, i] { p.MenuItemRalentisseurSClick(i); });

    QMenu* spectre = sous(menu_, "Spectre1", "S&pectre");
    QMenu* points = sous(spectre, "Nombresdepoints1", "&Nombres de points");
    for (int32_t i = 0; i < 4; ++i)
        coche(points, "ItemsPoints" + std::to_string(i), QString::number(2048 >> i), {},
              [&p, i] { p.NbrePtsTFRClick(i); });
    QMenu* surech = sous(spectre, "Surchantillonnage1", "&Suréchantillonnage");
    for (int32_t i = 0; i < 4; ++i)
        coche(surech, "ItemsSurEch" + std::to_string(i), QStringLiteral("X %1").arg(1 << i), {},
              [&p, i] { p.SurEchantTFRClick(i); });
    QMenu* fenetre = sous(spectre, "Fentre1", "&Fenêtre");
    static constexpr std::array<const char*, 5> Fenetres = {"Blackmann", "Hamming", "Hanning",
                                                            "Rectangulaire", "Triangulaire"};
    for (int32_t i = 0; i < 5; ++i)
        coche(fenetre, "ItemsFenetre" + std::to_string(i), QString::fromUtf8(Fenetres[i]), {},
              [&p, i] { p.PortesTFRClick(i); });
    QMenu* ralentiSpectre = sous(spectre, "MenuItemRalentisseurSpectre", "&Ralentisseur");
    coche(ralentiSpectre, "ItemsRalentiSpectre0", QStringLiteral("Aucun"), {},
          [&p] { p.MenuItemRalentisseurSpectreClick(0); });
    for (int32_t i = 4; i >= 1; --i)
        coche(ralentiSpectre, "ItemsRalentiSpectre" + std::to_string(i),
              QStringLiteral("1/%1s").arg(1 << (i + 3)), {},
              [&p, i] { p.MenuItemRalentisseurSpectreClick(i); });

    QMenu* outils = sous(menu_, "Outils1", "&Outils");
    commande(outils, "Gnrateur1", "&Générateur...", QKeySequence(Qt::CTRL | Qt::Key_G),
             [this] { Crochet(Crochets.Gnrateur1); });
    QMenu* curseurs = sous(outils, "Curseurs1", "&Curseurs");
    coche(curseurs, "CurseursVerticaux1", QStringLiteral("Curseurs &Verticaux"),
          QKeySequence(Qt::CTRL | Qt::Key_V), [&p] { p.CurseursVerticaux1Click(); });
    coche(curseurs, "CurseursHorizontaux1", QStringLiteral("Curseurs &Horizontaux"),
          QKeySequence(Qt::CTRL | Qt::Key_H), [&p] { p.Curseurshorizontaux1Click(); });
    commande(curseurs, "BasculeHorVert", "&Bascule Hor./Vert.", QKeySequence(Qt::CTRL | Qt::Key_W),
             [this] { Execute([this] { modele_.BasculeHV1Click(); }); });
    coche(curseurs, "MenuItemdb", QStringLiteral("&Amplitude dB"), {},
          [&p] { p.MenuItemdBClick(); });
    commande(outils, "Options1", "&Options...", QKeySequence(Qt::CTRL | Qt::Key_O),
             [this] { Crochet(Crochets.Options1); });
    commande(menu_, "Aproposde2", "A propos de...", {}, [this] { Crochet(Crochets.Aproposde1); });
}

void TForm1::Connecte() {
    auto barre = [this](QSlider* s, auto gestionnaire) {
        connect(s, &QSlider::valueChanged, this, [this, gestionnaire](int v) {
            if (synchro_) return;
            Execute([&] { gestionnaire(v); });
        });
    };
    Panneau& p = modele_;
    barre(ui_->EchelleVert, [&p](int v) { p.EchelleVertChange(v); });
    barre(ui_->EchelleHor, [&p](int v) { p.EchelleHorChange(v); });
    barre(ui_->ZeroBar, [&p](int v) { p.ZeroBarChange(v); });
    barre(ui_->trackbarDepF, [&p](int v) { p.trackbarDepFChange(v); });
    barre(ui_->TrackBarNivDecl, [&p](int v) { p.TrackBarNivDeclChange(v); });
    connect(ui_->Quitter, &QPushButton::clicked, this, [this] { close(); });
    connect(ui_->PEcran, &QCheckBox::clicked, this,
            [this](bool coche) { Execute([&] { modele_.PEcranChange(coche); }); });
    connect(ui_->SpectreBouton, &QCheckBox::clicked, this,
            [this](bool coche) { Execute([&] { modele_.SpectreBoutonChange(coche); }); });
    connect(ui_->VertCurseurs, &QCheckBox::clicked, this,
            [this](bool coche) { Execute([&] { modele_.VertCurseursChange(coche); }); });
    // Key preview, the pause button's mouse-down, the clickable readouts, ZeroBar's "0".
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* objet, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* touche = static_cast<QKeyEvent*>(e);
        if (FormKeyDown(touche)) return true;
        if (objet == ui_->ZeroBar && touche->text() == QLatin1String("0")) {
            Execute([this] { modele_.ZeroBarKeyPress('0'); });
            return true;
        }
        return false;
    }
    if (objet == ui_->Pause) {
        // The button follows the model: its own toggling is kept out.
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
            const Qt::MouseButton b = static_cast<QMouseEvent*>(e)->button();
            const Panneau::Bouton bouton = b == Qt::LeftButton    ? Panneau::Bouton::Gauche
                                           : b == Qt::RightButton ? Panneau::Bouton::Droit
                                                                  : Panneau::Bouton::Milieu;
            Execute([&] { modele_.PauseMouseDown(bouton); });
            return true;
        }
        if (e->type() == QEvent::MouseButtonRelease) return true;
        return false;
    }
    if (e->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (objet == ui_->LabelH) {
            Execute([this] { modele_.LabelHClick(); });
            return true;
        }
        if (objet == ui_->LabelV) {
            Execute([this] { modele_.LabelVClick(); });
            return true;
        }
        if (objet == ui_->LabelSignal) {
            Execute([this] { modele_.LabelSignalClick(); });
            return true;
        }
        if (objet == ui_->LabelCurseursActifs) {
            Execute([this] { modele_.LabelCurseursActifsClick(); });
            return true;
        }
    }
    return false;
}

bool TForm1::FormKeyDown(QKeyEvent* e) {
    if (e->modifiers() != (Qt::ControlModifier | Qt::ShiftModifier)) return false;
    if (QGuiApplication::mouseButtons() != Qt::NoButton) return false;
    menu_->popup(frameGeometry().topLeft());
    return true;
}

void TForm1::keyPressEvent(QKeyEvent* e) {
    if (!FormKeyDown(e)) QWidget::keyPressEvent(e);
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) {
    menu_->popup(e->globalPos());
}

// ---------------------------------------------------------------------------------------
// Creation and closing

void TForm1::FormCreate() {
    // Hint of the window itself (shown over its free area).
    AppliqueBulles(true);
    const platform::FichierIni ini(cheminReglages_);
    const ContexteEntree contexte{tables_, tables_.DSDisponible, entree_.VSyncDispo.load(Relache)};
    const ReglagesControle lus = LitReglagesControle(ini, contexte);
    move(lus.Fenetre.Gauche, lus.Fenetre.Haut);
    modele_.ChargeReglages(lus);
    AppliqueBulles(lus.Bulles);
    Synchronise();
}

void TForm1::FormClose() {
    const QPoint position = frameGeometry().topLeft();
    ReglagesControle r = modele_.Sauvegarde({position.x(), position.y()});
    if (Crochets.VisibleGene)
        if (const std::optional<bool> visible = Crochets.VisibleGene()) r.VisibleGene = *visible;
    // A refused write is reported as the application's own error, and closing goes on.
    if (const std::optional<std::string> erreur = EnregistreReglages(cheminReglages_, r))
        MontreMessage(this, QCoreApplication::applicationName().toUtf8().constData(), *erreur);
}

void TForm1::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
    // The main window: closing it ends the program, whatever else is open.
    QCoreApplication::quit();
}

// ---------------------------------------------------------------------------------------
// Model to widgets

namespace {

void Applique(QSlider* s, const Barre& b) {
    if (s->value() != b.Position) s->setValue(b.Position);
    if (s->isEnabled() != b.Actif) s->setEnabled(b.Actif);
}

void Applique(QLabel* l, const Libelle& t) {
    const QString texte = QString::fromStdString(t.Texte);
    if (l->text() != texte) l->setText(texte);
    if (l->isEnabled() != t.Actif) l->setEnabled(t.Actif);
}

void Applique(QAbstractButton* b, const Commande& c) {
    if (b->isChecked() != c.Coche) b->setChecked(c.Coche);
    if (b->isEnabled() != c.Actif) b->setEnabled(c.Actif);
}

void Applique(QAction* a, const Commande& c) {
    if (!a) return;
    if (a->isChecked() != c.Coche) a->setChecked(c.Coche);
    if (a->isEnabled() != c.Actif) a->setEnabled(c.Actif);
}

} // namespace

void TForm1::Synchronise() {
    synchro_ = true;
    const Panneau& p = modele_;
    Applique(ui_->EchelleVert, p.EchelleVert);
    Applique(ui_->EchelleHor, p.EchelleHor);
    Applique(ui_->ZeroBar, p.ZeroBar);
    Applique(ui_->trackbarDepF, p.trackbarDepF);
    Applique(ui_->TrackBarNivDecl, p.TrackBarNivDecl);
    Applique(ui_->LabelEchelleHor, p.LabelEchelleHor);
    Applique(ui_->LabelDeplaceHor, p.LabelDeplaceHor);
    Applique(ui_->LabelDeplaceVert, p.LabelDeplaceVert);
    Applique(ui_->LabelNivDec, p.LabelNivDec);
    Applique(ui_->LabelH, p.LabelH);
    Applique(ui_->LabelV, p.LabelV);
    Applique(ui_->LabelSignal, p.LabelSignal);
    Applique(ui_->LabelCurseursActifs, p.LabelCurseursActifs);
    Applique(ui_->FreqR, p.FreqR);
    Applique(ui_->LabelNivDecl, p.LabelNivDecl);
    Applique(ui_->Pause, Commande{p.Pause.Bas, true});
    if (ui_->Pause->text() != Q(p.Pause.Texte)) ui_->Pause->setText(Q(p.Pause.Texte));
    Applique(ui_->PEcran, p.PEcran);
    Applique(ui_->SpectreBouton, p.SpectreBouton);
    Applique(ui_->VertCurseurs, p.VertCurseurs);

    Applique(Action("Pleincran1"), p.Pleincran1);
    Applique(Action("Signal2"), p.Signal2);
    Applique(Action("Spectre2"), p.Spectre2);
    Applique(Action("MenuItemGaucheAffiche"), p.MenuItemGaucheAffiche);
    Applique(Action("MenuItemDroiteAffiche"), p.MenuItemDroiteAffiche);
    Applique(Action("Synchrouniverselle1"), p.Synchrouniverselle1);
    Applique(Action("Dclenchement1"), p.Dclenchement1);
    Applique(Action("MenuItemSyncNone"), p.MenuItemSyncNone);
    Applique(Action("MenuItemSyncMemoire"), p.MenuItemSyncMemoire);
    Applique(Action("Frontmontant1"), p.Frontmontant1);
    Applique(Action("FrontDescendant1"), p.FrontDescendant1);
    Applique(Action("MenuItemSyncGauche"), p.MenuItemSyncGauche);
    Applique(Action("MenuItemSyncDroite"), p.MenuItemSyncDroite);
    Applique(Action("CurseursVerticaux1"), p.CurseursVerticaux1);
    Applique(Action("CurseursHorizontaux1"), p.CurseursHorizontaux1);
    Applique(Action("MenuItemdb"), p.MenuItemdb);
    for (size_t i = 0; i < p.ItemsRalenti.size(); ++i)
        Applique(Action("ItemsRalenti" + std::to_string(i)), p.ItemsRalenti[i]);
    for (size_t i = 0; i < p.ItemsRalentiSpectre.size(); ++i)
        Applique(Action("ItemsRalentiSpectre" + std::to_string(i)), p.ItemsRalentiSpectre[i]);
    for (size_t i = 0; i < p.ItemsFenetre.size(); ++i)
        Applique(Action("ItemsFenetre" + std::to_string(i)), p.ItemsFenetre[i]);
    for (size_t i = 0; i < p.ItemsPoints.size(); ++i)
        Applique(Action("ItemsPoints" + std::to_string(i)), p.ItemsPoints[i]);
    for (size_t i = 0; i < p.ItemsSurEch.size(); ++i)
        Applique(Action("ItemsSurEch" + std::to_string(i)), p.ItemsSurEch[i]);

    // Full screen: this window stays on top of the scope.
    if (p.PEcran.Coche != surDessus_) {
        surDessus_ = p.PEcran.Coche;
        const bool visible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, surDessus_);
        if (visible) show();
    }
    synchro_ = false;
}

void TForm1::AppliqueBulles(bool bulles) {
    modele_.Reglages.Bulles = bulles;
    struct Bulle {
        QWidget* w;
        const char* texte;
    };
    const Bulle bulles_[] = {
        {this, BulleFenetre},
        {ui_->EchelleVert, "Modifie l'échelle verticale"},
        {ui_->EchelleHor, "Modifie l'échelle horizontale"},
        {ui_->ZeroBar, "Modifie la position verticale"},
        {ui_->trackbarDepF, "Modifie la position horizontale"},
        {ui_->TrackBarNivDecl, "Modifie le niveau de déclenchement"},
        {ui_->Pause, "Fait une pause"},
        {ui_->Quitter, "Quitte l'oscilloscope"},
        {ui_->PEcran, "Affiche le signal en plein écran"},
        {ui_->LabelH, "Echelle horizontale"},
        {ui_->LabelV, "Echelle verticale"},
        {ui_->LabelSignal, "Mode Signal/Spectre"},
        {ui_->LabelCurseursActifs, "Curseurs actifs"},
        {ui_->FreqR, "Fréquence de rafraîchissement"},
        {ui_->LabelNivDecl, "Niveau de déclenchement"},
    };
    for (const Bulle& b : bulles_)
        b.w->setToolTip(bulles ? Lignes(b.texte) : QString());
}

// ---------------------------------------------------------------------------------------
// ControleScope

GeometrieFenetre TForm1::GeometrieControle() const {
    const QRect g = frameGeometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

QSize TForm1::MargesCadre() const {
    return frameGeometry().size() - size();
}

void TForm1::AfficheMesures() {
    // On every cursor drag: the two readouts only.
    modele_.AfficheMesures();
    Applique(ui_->LabelH, modele_.LabelH);
    Applique(ui_->LabelV, modele_.LabelV);
}

void TForm1::MontreControle() {
    show();
    raise();
    activateWindow();
}

void TForm1::AppliquePleinEcranLu() {
    Execute([this] { modele_.PEcranChange(modele_.Reglages.PleinEcran); });
}

void TForm1::LegendeFreqR(const char* texte) {
    modele_.LegendeFreqR(texte);
    Applique(ui_->FreqR, modele_.FreqR);
}

void TForm1::EtatPause() {
    Execute([this] { modele_.EtatPause(); });
}

void TForm1::DesactiveDepF() {
    Execute([this] { modele_.DesactiveDepF(); });
}

void TForm1::ReactiveDepF(int32_t position) {
    Execute([this, position] { modele_.ReactiveDepF(position); });
}

// ---------------------------------------------------------------------------------------
// Signal files

namespace {

// The remembered filter: the dialogs' 1-based index, 0 meaning the first.
int FiltreRetenu(int32_t type) {
    return type >= 2 ? 1 : 0;
}

} // namespace

void TForm1::MenuItemEnregistrerClick() {
    if (!affichage_) return;
    const QStringList filtres = {QStringLiteral("Fichier sonore (*.wav)"),
                                 QStringLiteral("Text (séparateur : point virgule) (*.csv)")};
    QFileDialog d(this, QStringLiteral("Enregistre le signal actuel (0,5 s)"),
                  Q(modele_.Reglages.InitialWavDir));
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setFileMode(QFileDialog::AnyFile);
    d.setNameFilters(filtres);
    const int filtre = FiltreRetenu(modele_.Reglages.InitialWavType);
    d.selectNameFilter(filtres[filtre]);
    // A name typed without extension takes the chosen filter's.
    d.setDefaultSuffix(filtre == 1 ? QStringLiteral("csv") : QStringLiteral("wav"));
    connect(&d, &QFileDialog::filterSelected, &d, [&d, filtres](const QString& f) {
        d.setDefaultSuffix(f == filtres[1] ? QStringLiteral("csv") : QStringLiteral("wav"));
    });
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return;
    const QString nom = d.selectedFiles().constFirst();
    modele_.Reglages.InitialWavDir = QFileInfo(nom).absolutePath().toStdString();
    modele_.Reglages.InitialWavType =
        static_cast<int32_t>(filtres.indexOf(d.selectedNameFilter())) + 1;
    EnregistreSignalEnFond(nom.toStdString());
}

void TForm1::MenuItemChargerClick() {
    if (!affichage_) return;
    const QStringList filtres = {QStringLiteral("Fichier Sonore (*.wav)"),
                                 QStringLiteral("Texte (séparateur : point virgule) (*.csv)")};
    QFileDialog d(this, QStringLiteral("Charge 0.5 s de signal audio"),
                  Q(modele_.Reglages.InitialWavDir));
    d.setAcceptMode(QFileDialog::AcceptOpen);
    d.setFileMode(QFileDialog::ExistingFile);
    d.setNameFilters(filtres);
    d.selectNameFilter(filtres[FiltreRetenu(modele_.Reglages.InitialWavType)]);
    d.setDefaultSuffix(QStringLiteral("wav"));
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return;
    const QString nom = d.selectedFiles().constFirst();
    modele_.Reglages.InitialWavDir = QFileInfo(nom).absolutePath().toStdString();
    modele_.Reglages.InitialWavType =
        static_cast<int32_t>(filtres.indexOf(d.selectedNameFilter())) + 1;
    ChargeSignalDepuis(nom.toStdString());
}

void TForm1::EnregistreSignalEnFond(const std::string& nom) {
    if (!affichage_) return;
    if (enregistrement_.joinable()) enregistrement_.join();
    // A copy of one frame's samples, taken under the engine lock.
    auto copie = std::make_unique<TableauBruts>();
    affichage_->CopieBruts(*copie);
    const int32_t canaux = affichage_->NbCanaux(), fe = entree_.FeCourante.load(Relache);
    enregistrement_ = std::thread([this, nom, copie = std::move(copie), canaux, fe] {
        if (!EnregistreSignal(nom, NbEchSignal, *copie, canaux, fe))
            passerelle_->Poste(
                [this] { MontreMessage(this, TitreSignal, MessageEnregistrementImpossible); });
    });
}

bool TForm1::EnregistreSignalVers(const std::string& nom) {
    if (!affichage_) return false;
    // A copy of one frame's samples, taken under the engine lock.
    auto copie = std::make_unique<TableauBruts>();
    affichage_->CopieBruts(*copie);
    if (!EnregistreSignal(nom, NbEchSignal, *copie, affichage_->NbCanaux(),
                          entree_.FeCourante.load(Relache))) {
        MontreMessage(this, TitreSignal, MessageEnregistrementImpossible);
        return false;
    }
    return true;
}

bool TForm1::ChargeSignalDepuis(const std::string& nom) {
    if (!affichage_) return false;
    // Read beside the history: a file that fails changes nothing, and a mono file in
    // stereo capture keeps the right channel's history.
    auto charge = std::make_unique<TableauBruts>();
    affichage_->CopieBruts(*charge);
    const ErreurChargement erreur = ChargeSignal(nom, *charge, affichage_->NbCanaux());
    if (erreur != ErreurChargement::Aucune) {
        MontreMessage(this, TitreSignal, MessageChargement(erreur));
        return false;
    }
    // Paused with the loaded trace: capture stopped, and the samples in place once the
    // thread has finished its frame.
    Execute([this] { modele_.EtatPause(); });
    affichage_->ChargeBruts(*charge);
    return true;
}

bool TForm1::RouvreCapture() {
    if (!affichage_) return false;
    if (const std::optional<std::string> erreur = affichage_->RouvreCapture()) {
        MontreMessage(this, engine::TitreProbleme, *erreur);
        Execute([this] { modele_.EtatPause(); });
        return false;
    }
    Execute([this] {
        modele_.Pause = {};
        modele_.EchelleHor.Actif = modele_.SpectreBouton.Actif = true;
    });
    return true;
}

} // namespace panel
