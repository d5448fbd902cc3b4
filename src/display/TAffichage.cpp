#include "display/TAffichage.h"

#include "display/Curseurs.h"
#include "dsp/Fft.h"
#include "engine/Entrees.h"
#include "engine/Extraction.h"
#include "engine/Frequentiel.h"
#include "platform/Alsa.h"
#include "platform/Ini.h"
#include "platform/Pulse.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace display {

namespace {

constexpr auto Relache = std::memory_order_relaxed;

// "\r" in a message is a line break.
QString Message(const char* texte) {
    return QString::fromUtf8(texte).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void MontreProbleme(QWidget* parent, const char* texte) {
    QMessageBox::critical(parent, QString::fromUtf8(engine::TitreProbleme), Message(texte),
                          QMessageBox::Ok);
}

int32_t Arrondi(double x) {
    return static_cast<int32_t>(std::lrint(x));
}

} // namespace

// The engine's requests, run on the GUI thread through the hand-over.
class TAffichage::Gui final : public engine::InterfaceGui {
public:
    explicit Gui(TAffichage& f) : f_(f) {}

    void ArretUnique() override {
        f_.passerelle_->Poste([&f = f_] { f.c_.Controle.EtatPause(); });
    }
    void Dessiner() override {
        f_.passerelle_->Remet([this] {
            VueScope vue = f_.Vue();
            display::Dessiner(vue);
        });
    }
    void Afficher() override {
        f_.passerelle_->Remet([this] {
            engine::PresenteEtMesure(
                *f_.etat_, f_.image_ != nullptr, [this] { f_.repaint(); },
                [this](const char* texte) { f_.c_.Controle.LegendeFreqR(texte); });
        });
    }
    void DessinerImage() override {
        f_.passerelle_->Remet([this] {
            VueScope vue = f_.Vue();
            display::DessinerImage(vue);
        });
    }
    void DesactiveDepF() override {
        f_.passerelle_->Remet([this] { f_.c_.Controle.DesactiveDepF(); });
    }
    void ReactiveDepF(int32_t position) override {
        f_.passerelle_->Remet([this, position] { f_.c_.Controle.ReactiveDepF(position); });
    }
    void ErreurCalcul(const char* message) override {
        f_.passerelle_->Poste([&f = f_, message] {
            f.c_.Controle.EtatPause();
            MontreProbleme(&f, message);
        });
    }
    void FinThread() override {
        f_.passerelle_->Poste([&f = f_] { f.FinThread(); });
    }

private:
    TAffichage& f_;
};

// The frame's computations, on the acquisition thread.
class TAffichage::Calculs final : public engine::CalculsTrame {
public:
    explicit Calculs(TAffichage& f) : f_(f) {}

    void Extraire(int32_t largeur) override {
        engine::Extraire(*f_.etat_, f_.c_.Affichage, largeur, *f_.pilote_, *f_.gui_);
    }
    void CalculeSpectre(int32_t largeur) override {
        engine::CalculeSpectre(*f_.etat_, f_.c_.Affichage, largeur);
    }
    void EnregistreSignal(const std::string& fichier, int32_t nbEchantillons) override {
        // Errors are swallowed: the buffer file never disturbs the frames.
        [[maybe_unused]] const bool ok =
            ecrivain_.Enregistre(fichier, nbEchantillons, f_.etat_->Bruts, f_.NbCanaux(),
                                 f_.c_.Entree.FeCourante.load(Relache));
    }

private:
    TAffichage& f_;
    panel::EcrivainSignal ecrivain_;
};

TAffichage::TAffichage(Contexte contexte, QWidget* parent)
    : TAffichage(std::move(contexte), platform::CreeFluxAlsa(), platform::CreeFluxSon(), parent) {}

TAffichage::TAffichage(Contexte contexte, std::unique_ptr<platform::FluxCapture> fluxAlsa,
                       std::unique_ptr<platform::FluxCapture> fluxSon, QWidget* parent)
    : QWidget(parent), c_(std::move(contexte)), etat_(std::make_unique<engine::EtatScope>()),
      fluxAlsa_(std::move(fluxAlsa)), fluxSon_(std::move(fluxSon)),
      passerelle_(std::make_unique<Passerelle>(*this)) {
    const engine::ContexteCapture capture{*etat_, c_.Entree, c_.Tables, c_.Affichage};
    wave_ = std::make_unique<engine::PiloteWave>(capture, *fluxAlsa_);
    ds_ = std::make_unique<engine::PiloteDS>(capture, *fluxSon_);
    gui_ = std::make_unique<Gui>(*this);
    calculs_ = std::make_unique<Calculs>(*this);
    contexte_ = std::unique_ptr<engine::ContexteThread>(
        new engine::ContexteThread{*etat_, c_.Affichage, c_.Entree, *gui_, *calculs_});
    setWindowTitle(QStringLiteral("Scope"));
    setObjectName(QStringLiteral("Affichage"));
    // Every pixel comes from the picture: no background to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    etat_->EnMarche.store(false, Relache);
}

bool TAffichage::FormCreate() {
    engine::EtatScope& e = *etat_;
    e.EnMarche.store(false, Relache);
    {
        const platform::FichierIni ini(c_.CheminReglages);
        // Just below the control window, as wide as it, square.
        const panel::GeometrieFenetre g = panel::LitEcran(ini, c_.Controle.GeometrieControle());
        // Outer coordinates: the frame is assumed to be the control window's.
        const QSize marges = c_.Controle.MargesCadre();
        move(g.Gauche, g.Haut);
        resize(std::max(g.Largeur - marges.width(), 1), std::max(g.Hauteur - marges.height(), 1));
        geometrieLue_ = g;
        margesSupposees_ = marges;
        const panel::PositionsCurseurs p = panel::LitCurseurs(ini, height(), width());
        e.Xcurs1 = p.Xcurs1;
        e.Xcurs2 = p.Xcurs2;
        e.Ycurs1 = p.Ycurs1;
        e.Ycurs2 = p.Ycurs2;
    }
    c_.Entree.FeCourante.store(c_.Entree.Fe.load(Relache), Relache);
    e.StereoActif = c_.Entree.Stereo.load(Relache) ? 1 : 0;
    e.LargeurClient.store(std::max(width(), 1), Relache);
    Calibrer();
    c_.Controle.AfficheMesures();

    const engine::ResultatChoix r =
        engine::ChoisirPilote({wave_.get(), ds_.get()}, c_.Entree, c_.Tables, e);
    if (r.Code != engine::OuvertureReussie) {
        MontreProbleme(nullptr, r.Message);
        return false;
    }
    pilote_ = r.Pilote;
    pilote_->Demarrer();
    e.DernierDecl = 0;
    image_ = std::make_unique<ImageQt>(std::max(width(), 1), std::max(height(), 1));
    // The rate may have changed with the fall-backs.
    Calibrer();
    show();
    c_.Controle.AppliquePleinEcranLu();
    c_.Controle.AfficheMesures();
    e.Reference.fill(0.0f);
    DemarreThread();
    return true;
}

TAffichage::~TAffichage() {
    detruit_ = true;
    engine::EtatScope& e = *etat_;
    e.Arret.store(true, Relache);
    // The settings first, as they are now; saved before the waits but reported after them,
    // so that a refused write still lets the thread stop and the driver go.
    panel::ReglagesScope r;
    if (!pleinEcran_ && !isMaximized() && !isMinimized()) {
        const QRect g = frameGeometry();
        r.Ecran = panel::GeometrieFenetre{g.x(), g.y(), g.width(), g.height()};
    }
    r.Curseurs = {e.Xcurs1, e.Xcurs2, e.Ycurs1, e.Ycurs2};
    const std::optional<std::string> erreur = panel::EnregistreReglages(c_.CheminReglages, r);
    ArreteThread();
    image_.reset();
    // Harmless on a driver that is not open.
    wave_->Fermer();
    ds_->Fermer();
    if (erreur)
        QMessageBox::critical(nullptr, QString::fromUtf8(engine::TitreProbleme),
                              QString::fromStdString(*erreur), QMessageBox::Ok);
}

void TAffichage::DemarreThread() {
    thread_ = std::make_unique<engine::TscopeThread>(*contexte_, *pilote_, std::move(thread_));
}

void TAffichage::ArreteThread() {
    if (!thread_) return;
    // The thread may be blocked in a hand-over: keep serving them while waiting.
    engine::AttendFinThread(*etat_, *thread_, [] { QCoreApplication::processEvents(); });
    thread_.reset();
}

bool TAffichage::ThreadEnCours() const {
    return thread_ && !thread_->Termine();
}

bool TAffichage::EnPause() const {
    return !etat_->EnMarche.load(Relache);
}

int32_t TAffichage::LargeurClient() const {
    return std::max(width(), 1);
}

int32_t TAffichage::HauteurClient() const {
    return std::max(height(), 1);
}

VueScope TAffichage::Vue() {
    VueScope v{*etat_, c_.Affichage, c_.Entree};
    v.Image = image_.get();
    v.LargeurClient = LargeurClient();
    v.HauteurClient = HauteurClient();
    v.CurseursVerticaux1 = c_.Controle.CurseursVerticaux1();
    v.CurseursHorizontaux1 = c_.Controle.CurseursHorizontaux1();
    return v;
}

int32_t TAffichage::PointsTrace() {
    return display::PointsTrace(Vue());
}

double TAffichage::PixelsParPoint() {
    return display::PixelsParPoint(Vue());
}

void TAffichage::Calibrer() {
    VueScope v = Vue();
    display::Calibrer(v);
}

// ---------------------------------------------------------------------------------------
// Refreshes while paused

void TAffichage::RecalculeImage() {
    if (!EnPause() || !image_ || !pilote_) return;
    if (ThreadEnCours()) {
        recalculeDiffere_ = true;
        return;
    }
    engine::EtatScope& e = *etat_;
    const bool stereo = e.StereoActif == 1;
    e.MasqueCanaux = stereo ? c_.Entree.Canal.load(Relache) : 1;
    e.CanalSyncActif = stereo ? c_.Entree.CanalSync.load(Relache) : 0;
    e.PleineEchelleCopie = c_.Affichage.PleineEchelle.load(Relache);
    e.DeplaceXCopie = static_cast<float>(c_.Affichage.DeplaceX.load(Relache));
    const int32_t W = LargeurClient();
    if (c_.Affichage.SpectreBouton.load(Relache))
        engine::CalculeSpectre(e, c_.Affichage, W);
    else
        engine::Extraire(e, c_.Affichage, W, *pilote_, *gui_);
    VueScope v = Vue();
    display::DessinerImage(v);
    update();
}

void TAffichage::RetraceImage() {
    if (!EnPause() || !image_) return;
    if (ThreadEnCours()) {
        retraceDiffere_ = true;
        return;
    }
    engine::EtatScope& e = *etat_;
    e.PleineEchelleCopie = c_.Affichage.PleineEchelle.load(Relache);
    e.DeplaceXCopie = static_cast<float>(c_.Affichage.DeplaceX.load(Relache));
    const bool spectre = c_.Affichage.SpectreBouton.load(Relache);
    for (int c = 0; c < 2; ++c) {
        if (!(e.MasqueCanaux & (1 << c))) continue;
        if (spectre)
            engine::AfficheSpectre(e, c_.Affichage, c, e.NbPoints.load(Relache));
        else
            engine::Normaliser(e, c);
    }
    VueScope v = Vue();
    display::DessinerImage(v);
    update();
}

void TAffichage::FinThread() {
    if (detruit_ || ThreadEnCours()) return;
    const bool recalcule = recalculeDiffere_, retrace = retraceDiffere_;
    recalculeDiffere_ = retraceDiffere_ = false;
    std::unique_ptr<panel::TableauBruts> charge = std::move(chargement_);
    if (!EnPause()) return; // resumed meanwhile: the frames show everything
    if (charge) {
        {
            std::lock_guard verrou(etat_->VerrouMoteur);
            etat_->Bruts = *charge;
        }
        RecalculeImage();
    } else if (recalcule) {
        RecalculeImage();
    } else if (retrace) {
        RetraceImage();
    }
}

void TAffichage::CopieBruts(panel::TableauBruts& copie) {
    std::lock_guard verrou(etat_->VerrouMoteur);
    copie = etat_->Bruts;
}

void TAffichage::ChargeBruts(const panel::TableauBruts& bruts) {
    if (!image_) return;
    if (!EnPause()) Arreter();
    if (ThreadEnCours()) {
        chargement_ = std::make_unique<panel::TableauBruts>(bruts);
        return;
    }
    {
        std::lock_guard verrou(etat_->VerrouMoteur);
        etat_->Bruts = bruts;
    }
    RecalculeImage();
}

// ---------------------------------------------------------------------------------------
// Capture

void TAffichage::Arreter() {
    if (pilote_) pilote_->Arreter();
}

void TAffichage::Reprendre() {
    if (!pilote_) return;
    pilote_->Demarrer();
    // A thread still in its last turn finishes before the new one enters its loop.
    DemarreThread();
    show();
}

std::optional<std::string> TAffichage::RouvreCapture() {
    ArreteThread();
    if (pilote_) pilote_->Fermer();
    pilote_ = nullptr;
    recalculeDiffere_ = retraceDiffere_ = false;
    chargement_.reset();
    const engine::ResultatChoix r =
        engine::ChoisirPilote({wave_.get(), ds_.get()}, c_.Entree, c_.Tables, *etat_);
    if (r.Code != engine::OuvertureReussie) return std::string(r.Message ? r.Message : "");
    pilote_ = r.Pilote;
    pilote_->Demarrer();
    etat_->DernierDecl = 0;
    etat_->Reference.fill(0.0f);
    Calibrer();
    c_.Controle.AfficheMesures();
    DemarreThread();
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Window events

void TAffichage::paintEvent(QPaintEvent*) {
    QPainter peintre(this);
    if (!image_) {
        peintre.fillRect(rect(), Qt::black);
        return;
    }
    // Presenter: the picture, one copy. While running it holds the cursors already.
    const QImage& pixels = image_->Pixels();
    peintre.drawImage(QPoint(0, 0), pixels);
    if (pixels.width() < width())
        peintre.fillRect(pixels.width(), 0, width() - pixels.width(), height(), Qt::black);
    if (pixels.height() < height())
        peintre.fillRect(0, pixels.height(), width(), height() - pixels.height(), Qt::black);
    if (EnPause()) {
        CanevasQt canevas(peintre);
        display::DessinerCurseurs(Vue(), canevas);
    }
}

void TAffichage::resizeEvent(QResizeEvent*) {
    AjusteCadre();
    FormResize();
}

void TAffichage::FormResize() {
    etat_->LargeurClient.store(LargeurClient(), Relache);
    if (!image_) return;
    const int32_t W = LargeurClient(), H = HauteurClient();
    if (image_->Largeur() == W && image_->Hauteur() == H) return;
    image_->Redimensionner(W, H);
    Calibrer();
    engine::EtatScope& e = *etat_;
    const int32_t position = c_.Controle.PositionDepF();
    if (EnPause()) {
        // The frozen samples, extracted again at the new width (after the thread's last
        // turn if it has not finished yet).
        e.PosDecl.store(Arrondi(static_cast<double>(PointsTrace()) * position / engine::MaxDepF),
                        Relache);
        RecalculeImage();
    }
    // Spectrum start: a window at least as wide as the oversampled spectrum starts at 0.
    // No more than LargeurMax points are shown, however wide the window.
    const int32_t S = (dsp::TailleTFR() / 2) << std::clamp(e.SurEchCopie.load(Relache), 0, 3);
    const int32_t M = std::min({S, W, engine::LargeurMax});
    e.DebutSpectre.store(
        Arrondi(static_cast<double>(std::max(S - M, 0)) * position / engine::MaxDepF), Relache);
    c_.Controle.AfficheMesures();
    update();
}

void TAffichage::mousePressEvent(QMouseEvent* e) {
    const Qt::MouseButtons b = e->buttons();
    PlaceCurseurs(static_cast<int32_t>(e->position().x()), static_cast<int32_t>(e->position().y()),
                  b & Qt::LeftButton, b & Qt::RightButton);
}

void TAffichage::mouseMoveEvent(QMouseEvent* e) {
    const Qt::MouseButtons b = e->buttons();
    PlaceCurseurs(static_cast<int32_t>(e->position().x()), static_cast<int32_t>(e->position().y()),
                  b & Qt::LeftButton, b & Qt::RightButton);
}

void TAffichage::PlaceCurseurs(int32_t x, int32_t y, bool gauche, bool droit) {
    engine::EtatScope& e = *etat_;
    const CurseursDeplaces d =
        CurseursAPlacer(c_.Controle.VertCurseurs(), c_.Controle.CurseursVerticaux1(),
                        c_.Controle.CurseursHorizontaux1(), gauche, droit);
    if (d.Xcurs1) DeplaceCurseur(e.Xcurs1, x, true);
    if (d.Xcurs2) DeplaceCurseur(e.Xcurs2, x, true);
    if (d.Ycurs1) DeplaceCurseur(e.Ycurs1, y, false);
    if (d.Ycurs2) DeplaceCurseur(e.Ycurs2, y, false);
    if (gauche || droit) c_.Controle.AfficheMesures();
}

QRect TAffichage::LigneCurseur(int32_t position, bool vertical) const {
    return vertical ? QRect(position, 0, 1, height()) : QRect(0, position, width(), 1);
}

void TAffichage::DeplaceCurseur(int32_t& champ, int32_t valeur, bool vertical) {
    // Running: the next frame draws it. Paused: only the old and new lines repaint.
    if (EnPause()) update(LigneCurseur(champ, vertical));
    champ = valeur;
    if (EnPause()) update(LigneCurseur(champ, vertical));
}

void TAffichage::MetAJourCurseurs() {
    const engine::EtatScope& e = *etat_;
    if (c_.Controle.CurseursVerticaux1()) {
        update(LigneCurseur(e.Xcurs1, true));
        update(LigneCurseur(e.Xcurs2, true));
    }
    if (c_.Controle.CurseursHorizontaux1()) {
        update(LigneCurseur(e.Ycurs1, false));
        update(LigneCurseur(e.Ycurs2, false));
    }
}

void TAffichage::EffaceCurseurs() {
    MetAJourCurseurs();
}

void TAffichage::DessineCurseurs() {
    MetAJourCurseurs();
}

void TAffichage::keyPressEvent(QKeyEvent*) {
    c_.Controle.MontreControle();
}

void TAffichage::PleinEcran(bool plein) {
    if (plein == pleinEcran_) return;
    QScreen* ecran = screen();
    if (plein) {
        geometrieNormale_ = geometry();
        pleinEcran_ = true;
        setWindowFlag(Qt::FramelessWindowHint, true);
        setWindowState(Qt::WindowMaximized);
        show();
        // Without a window manager nothing maximises: cover the screen ourselves.
        if (ecran) setGeometry(ecran->geometry());
    } else {
        pleinEcran_ = false;
        setWindowState(Qt::WindowNoState);
        setWindowFlag(Qt::FramelessWindowHint, false);
        show();
        if (geometrieNormale_.isValid()) setGeometry(geometrieNormale_);
    }
}

void TAffichage::showEvent(QShowEvent*) {
    PeriodeEcran();
    AjusteCadre();
    // A frame that has not come within a few seconds will not come from the first show.
    if (geometrieLue_) QTimer::singleShot(3000, this, [this] { geometrieLue_.reset(); });
    if (!ecranConnecte_ && windowHandle()) {
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { PeriodeEcran(); });
        ecranConnecte_ = true;
    }
}

void TAffichage::moveEvent(QMoveEvent*) {
    AjusteCadre();
}

void TAffichage::AjusteCadre() {
    if (!geometrieLue_ || pleinEcran_ || !isVisible()) return;
    const QSize marges = frameGeometry().size() - size();
    if (marges == margesSupposees_) return;
    // The window manager's frame differs from the one assumed: the saved outer geometry,
    // so that the window neither grows nor shrinks from one run to the next.
    const panel::GeometrieFenetre g = *geometrieLue_;
    geometrieLue_.reset();
    resize(std::max(g.Largeur - marges.width(), 1), std::max(g.Hauteur - marges.height(), 1));
    move(g.Gauche, g.Haut);
}

void TAffichage::PeriodeEcran() {
    QScreen* ecran = screen();
    const double hz = ecran ? ecran->refreshRate() : 0.0;
    etat_->PeriodeEcran.store(hz > 1 ? static_cast<int64_t>(std::llround(1e9 / hz)) : 0, Relache);
}

} // namespace display
