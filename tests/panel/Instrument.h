// The two windows of the instrument on the off-screen platform, over a capture stream of
// our own that plays a sine into the ring in real time (no sound server), with the
// settings file in a temporary folder. Waits are for conditions, with a deadline.
#pragma once

#include "DossierTemporaire.h"
#include "display/TAffichage.h"
#include "engine/Entrees.h"
#include "panel/TForm1.h"
#include "platform/Capture.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace essai {

// The widgets need an application object; the test main chose the off-screen platform.
class ApplicationWidgets : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char nom[] = "test_fenetres";
        static char* argv[] = {nom, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QApplication> application_;
};

// Serves the GUI's events until `fini()` or the deadline; `fini`'s last value.
template <class Condition>
bool Attend(Condition fini, std::chrono::milliseconds limite = std::chrono::seconds(20)) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!fini()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A capture stream playing sines (left `Gauche` Hz, right `Droite` Hz, half full scale)
// into the ring in blocks of 5 ms, paced by the clock, from a thread of its own.
class FluxEssai final : public platform::FluxCapture {
public:
    static constexpr double Gauche = 1000, Droite = 250;

    // `refuse`: every Ouvrir fails, as with a device another program holds.
    explicit FluxEssai(bool refuse = false) : refuse_(refuse) {}
    ~FluxEssai() override { Arreter(); }
    platform::ResultatOuverture Ouvrir(const std::string&, int32_t fe, int32_t canaux,
                                       platform::AnneauCapture& anneau) override {
        if (refuse_) return platform::ResultatOuverture::Indisponible;
        anneau_ = &anneau;
        fe_ = fe;
        canaux_ = canaux;
        return platform::ResultatOuverture::Reussie;
    }
    bool Demarrer() override {
        Arreter();
        if (!anneau_) return false;
        anneau_->Recommence();
        marche_ = true;
        thread_ = std::thread([this] { Produit(); });
        return true;
    }
    void Arreter() override {
        marche_ = false;
        if (thread_.joinable()) thread_.join();
    }
    void Fermer() override {
        Arreter();
        anneau_ = nullptr;
    }

private:
    void Produit() {
        const auto debut = std::chrono::steady_clock::now();
        int64_t trame = 0;
        std::vector<int16_t> bloc;
        while (marche_) {
            const double ecoule =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
            const auto jusqua = static_cast<int64_t>(ecoule * fe_);
            bloc.clear();
            for (; trame < jusqua; ++trame)
                for (int c = 0; c < canaux_; ++c)
                    bloc.push_back(static_cast<int16_t>(
                        16384 * std::sin(2 * M_PI * (c ? Droite : Gauche) * trame / fe_)));
            if (!bloc.empty()) anneau_->Ecrire(bloc.data(), static_cast<uint32_t>(bloc.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    const bool refuse_;
    platform::AnneauCapture* anneau_ = nullptr;
    int32_t fe_ = 44100, canaux_ = 1;
    std::atomic<bool> marche_{false};
    std::thread thread_;
};

// The control window and the scope window, created in the program's order.
class Instrument {
public:
    // `ini`: the settings file's text, none for no file. `refuse`: no input opens.
    explicit Instrument(const std::string& ini = {}, const DossierTemporaire* dossier = nullptr,
                        bool refuse = false)
        : dossier_(dossier ? dossier : &propre_) {
        if (!ini.empty()) EcritFichier(Reglages(), ini);
        // One device per driver besides the default one, every rate accepted.
        platform::DescriptionEntree d;
        d.FeSupportes.fill(true);
        std::vector<platform::DescriptionEntree> liste{d, d};
        liste[1].Identifiant = liste[1].Nom = "essai";
        engine::RemplitTables(tables, liste, true, liste);
        entree.VSyncDispo = 2;
        controle = std::make_unique<panel::TForm1>(affichage, entree, tables, Reglages());
        controle->FormCreate();
        controle->show();
        scope = std::make_unique<display::TAffichage>(
            display::TAffichage::Contexte{affichage, entree, tables, *controle, Reglages()},
            std::make_unique<FluxEssai>(refuse), std::make_unique<FluxEssai>(refuse));
        controle->ConnecteScope(scope.get());
        cree = scope->FormCreate();
        // As the program does: no input, the control window closes (saving its settings).
        if (!cree) {
            Ferme();
            return;
        }
        // The control window's shortcuts work while it is the active window.
        controle->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(controle.get()));
    }
    ~Instrument() { Ferme(); }
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // The program's end: the control window closes (its settings), then the scope
    // window is destroyed (its settings, the thread stopped).
    void Ferme() {
        if (!controle) return;
        controle->close();
        scope.reset();
        controle->ConnecteScope(nullptr);
        controle.reset();
    }

    std::string Reglages() const { return dossier_->Chemin("tamburella.ini"); }
    panel::Panneau& Modele() { return controle->Modele(); }

    template <class W = QWidget>
    W* Widget(const char* nom) const {
        return controle->findChild<W*>(QString::fromUtf8(nom));
    }
    QSlider* Barre(const char* nom) const { return Widget<QSlider>(nom); }
    QString Texte(const char* nom) const { return Widget<QLabel>(nom)->text(); }

    // A press and release on Pause with `bouton`, as the user does it.
    void PresseLaPause(Qt::MouseButton bouton = Qt::LeftButton) {
        auto* pause = Widget<QAbstractButton>("Pause");
        QTest::mousePress(pause, bouton);
        QTest::mouseRelease(pause, bouton);
    }
    // Paused, and the thread's last turn over; running again with frames coming.
    void Pause() {
        PresseLaPause();
        ASSERT_TRUE(Attend([&] { return !scope->ThreadEnCours(); }));
    }
    // n frames presented once the ring holds more than one Bruts of the stream (a
    // starved stream thread on a busy machine must not leave zeros in the picture).
    void AttendTrames(int n = 3) {
        const engine::EtatScope& e = scope->Etat();
        ASSERT_TRUE(Attend([&] {
            return e.TamponCapture.Position() > 2 * int64_t{engine::NbBruts} * scope->NbCanaux();
        }));
        const int64_t debut = scope->Etat().CompteurAct.load();
        int vues = 0;
        int64_t derniere = debut;
        ASSERT_TRUE(Attend([&] {
            const int64_t c = scope->Etat().CompteurAct.load();
            if (c != derniere) {
                derniere = c;
                ++vues;
            }
            return vues >= n;
        }));
    }

    engine::ReglagesAffichage affichage;
    engine::ReglagesEntree entree;
    engine::TablesEntrees tables;
    std::unique_ptr<panel::TForm1> controle;
    std::unique_ptr<display::TAffichage> scope;
    bool cree = false;

private:
    DossierTemporaire propre_;
    const DossierTemporaire* dossier_;
};

// The next modal message box is closed as soon as it shows; its text is kept.
class MessageAttendu {
public:
    MessageAttendu() {
        minuterie_.setInterval(10);
        QObject::connect(&minuterie_, &QTimer::timeout, [this] {
            if (auto* boite = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Titre = boite->windowTitle();
                Texte = boite->text();
                Textes << Texte;
                boite->done(QMessageBox::Ok);
            }
        });
        minuterie_.start();
    }
    QString Titre, Texte; // the last one
    QStringList Textes;   // all of them

private:
    QTimer minuterie_;
};

} // namespace essai
