#include "shell/Demarrage.h"

#include "compiler/Routines.h"
#include "dsp/Fft.h"
#include "dsp/Reechantillonnage.h"
#include "engine/Entrees.h"
#include "panel/Export.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <vector>

namespace shell {

// The options dialog's view of the control window, which keeps the picture settings, the
// hint switch and the input settings with its own.
class CibleControle final : public CibleOptions {
public:
    CibleControle(panel::TForm1& form1, engine::ReglagesEntree& entree,
                  const engine::TablesEntrees& tables)
        : form1_(form1), entree_(entree), tables_(tables) {}

    OptionsImage Image() const override {
        const panel::ReglagesControle& r = form1_.Reglages();
        return {r.Proportions, r.Position, r.Curseurs, r.Grille, r.LargGraph, r.HautGraph};
    }
    void ChangeImage(const OptionsImage& image) override {
        panel::ReglagesControle& r = form1_.Reglages();
        r.Proportions = image.Proportions;
        r.Position = image.Position;
        r.Curseurs = image.Curseurs;
        r.Grille = image.Grille;
        r.LargGraph = image.LargGraph;
        r.HautGraph = image.HautGraph;
    }
    bool Bulles() const override { return form1_.Reglages().Bulles; }
    void ChangeBulles(bool bulles) override { form1_.AppliqueBulles(bulles); }
    engine::ReglagesEntree& Entree() override { return entree_; }
    const engine::TablesEntrees& Tables() const override { return tables_; }

private:
    panel::TForm1& form1_;
    engine::ReglagesEntree& entree_;
    const engine::TablesEntrees& tables_;
};

void InitialisationsProcessus(generator::ContexteGene& gene) {
    dsp::InitTFR(0, 11);
    compiler::InitCompilateur();
    dsp::InitFiltres();
    generator::InitGene(gene);
}

Application::Application(ModeDemarrage mode, std::string cheminReglages,
                         generator::ContexteGene& gene, engine::EnumerationEntrees* entrees)
    : mode_(mode), chemin_(std::move(cheminReglages)), gene_(gene), entrees_(entrees) {
    // Closing the main window ends the program, whatever other window is still open.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QString::fromUtf8(TitreOscilloscope));

    formLogo_ = new TFormLogo;
    formLogo_->setAttribute(Qt::WA_DeleteOnClose);
    formLogo_->MontreMaintenant();

    if (mode_ == ModeDemarrage::Generateur)
        QApplication::setApplicationName(QString::fromUtf8(TitreGenerateurSeul));
    else if (!CreeFenetresOscilloscope())
        return; // FenetrePrincipale() stays null: the program ends
    CreeFenetresGenerateur();

    if (form1_) {
        BrancheMenu();
        principale_ = form1_.get();
        // The front panel has the keyboard, as the main window.
        form1_->raise();
        form1_->activateWindow();
        if (form1_->Reglages().VisibleGene) MontreGenerateur();
    } else {
        principale_ = geneForm_.get();
        principale_->show();
    }
    principale_->installEventFilter(this);
}

Application::~Application() {
    delete formLogo_.data();
}

bool Application::CreeFenetresOscilloscope() {
    // The control window first: it enumerates the inputs and loads its settings.
    const std::vector<std::string> nonListees =
        entrees_ ? entrees_->Termine(tables_) : engine::EnumereEntrees(tables_);
    if (nonListees.empty() && engine::AucuneEntree(tables_)) {
        QMessageBox::critical(nullptr, QString::fromUtf8(engine::TitreProbleme),
                              QString::fromUtf8(engine::MessageAucuneEntree)
                                  .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        return false;
    }
    if (!nonListees.empty()) {
        // A frozen sound server: the program goes on with the default inputs, and says so.
        QString texte = QString::fromUtf8(engine::MessageEntreesNonListees);
        for (const std::string& nom : nonListees)
            texte += QLatin1Char('\r') + QString::fromStdString(nom);
        QMessageBox::warning(nullptr, QString::fromUtf8(engine::TitreProbleme),
                             texte.replace(QLatin1Char('\r'), QLatin1Char('\n')));
    }
    // The display's frame rate paces the scope (VSync = 2) when the screen tells it.
    const QScreen* ecran = QGuiApplication::primaryScreen();
    entree_.VSyncDispo = ecran && ecran->refreshRate() > 0 ? 2 : 0;

    form1_ = std::make_unique<panel::TForm1>(reglagesAffichage_, entree_, tables_, chemin_);
    form1_->FormCreate();
    form1_->show();

    // Then the scope window: it opens the capture with its fall-backs.
    affichage_ = std::make_unique<display::TAffichage>(
        display::TAffichage::Contexte{reglagesAffichage_, entree_, tables_, *form1_, chemin_});
    form1_->ConnecteScope(affichage_.get());
    if (!affichage_->FormCreate()) {
        // The message has been shown; the settings are saved on the way out, with the
        // input settings as the fall-backs left them.
        form1_->close();
        return false;
    }

    // The control window owns what the options dialog edits; its hint flag, read from its
    // settings, is the generator window's too.
    cible_ = std::make_unique<CibleControle>(*form1_, entree_, tables_);
    gene_.BullesGene = cible_->Bulles();
    formOption_ = std::make_unique<TFormOption>(
        *cible_, QApplication::applicationName().toStdString(), chemin_, [this](bool bulles) {
            if (geneForm_) geneForm_->AfficheBulles(bulles);
        });
    return true;
}

void Application::BrancheMenu() {
    panel::CrochetsControle& c = form1_->Crochets;
    c.Gnrateur1 = [this] { MontreGenerateur(); };
    c.Options1 = [this] { MontreOptions(); };
    c.Aproposde1 = [this] { MontreInfo(); };
    c.VisibleGene = [this]() -> std::optional<bool> { return geneForm_->isVisible(); };

    // The export repeats the readouts of the control window and takes the picture
    // settings the options dialog edits. The readouts are copied when the command starts:
    // while its dialog is open, a frame or a resize of the scope window rewrites them.
    struct Lectures {
        std::string H, V;
    };
    auto lectures = [this] {
        return Lectures{form1_->Modele().LabelH.Texte, form1_->Modele().LabelV.Texte};
    };
    auto options = [this](const Lectures& l) {
        const panel::ReglagesControle& r = form1_->Reglages();
        return display::OptionsExport{r.Grille, r.Curseurs, l.H, l.V};
    };
    auto image = [this] {
        const panel::ReglagesControle& r = form1_->Reglages();
        return panel::ReglagesImage{r.Proportions, r.Position, r.LargGraph, r.HautGraph};
    };
    c.Copier1 = [this, lectures, options] {
        const Lectures l = lectures();
        panel::Copier1Click(affichage_->Vue(), options(l));
    };
    c.Mtafichier1 = [this, lectures, options, image] {
        const Lectures l = lectures();
        panel::Mtafichier1Click(affichage_->Vue(), options(l), image(),
                                form1_->Reglages().InitialMetaDir, form1_.get());
    };
    c.Imprimer1 = [this, lectures, options, image] {
        if (!imprimante_) imprimante_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        const Lectures l = lectures();
        panel::Imprimer1Click(affichage_->Vue(), options(l), image(), form1_.get(),
                              panel::DialoguesSysteme(), imprimante_.get());
    };
}

void Application::CreeFenetresGenerateur() {
    const std::string titre = QApplication::applicationName().toStdString();
    geneForm_ = std::make_unique<generator::TGeneForm>(gene_, chemin_);
    formGeneOption_ =
        std::make_unique<generator::TFormGeneOption>(geneForm_->Panneau(), titre, chemin_);
    geneForm_->MontreOptions = [this] {
        formGeneOption_->show();
        formGeneOption_->raise();
        formGeneOption_->activateWindow();
    };
    formInfo_ = std::make_unique<TFormInfo>();
}

void Application::MontreGenerateur() {
    geneForm_->show();
    geneForm_->raise();
    geneForm_->activateWindow();
}

void Application::MontreOptions() {
    if (!formOption_) return;
    formOption_->show();
    formOption_->raise();
}

void Application::MontreInfo() {
    formInfo_->exec();
}

bool Application::eventFilter(QObject* objet, QEvent* evenement) {
    if (objet == principale_ && evenement->type() == QEvent::Close) {
        // Once the window has handled its close: it may not have accepted it.
        QTimer::singleShot(0, this, [this] {
            if (!principale_->isVisible()) QCoreApplication::quit();
        });
    }
    return QObject::eventFilter(objet, evenement);
}

} // namespace shell
