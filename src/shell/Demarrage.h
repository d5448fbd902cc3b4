// Start-up: the process-wide steps in their order, then the windows in theirs, behind the
// splash window. Every window lives until the program ends; they are destroyed last-created
// first, each writing its settings sections.
//
//     engine::EnumerationEntrees entrees;          // the inputs, listed meanwhile
//     generator::ContexteGene gene;
//     InitialisationsProcessus(gene);              // before the application object
//     QApplication app(argc, argv);
//     Application fenetres(mode, chemin, gene, &entrees); // title, splash, windows
//     return app.exec();                         // until the main window closes
//
// Thread contract: the GUI thread.
#pragma once

#include "display/TAffichage.h"
#include "engine/Entrees.h"
#include "engine/Parametres.h"
#include "generator/PanneauGene.h"
#include "generator/UGene.h"
#include "generator/UnitGeneOptions.h"
#include "panel/TForm1.h"
#include "shell/LigneCommande.h"
#include "shell/ULogo.h"
#include "shell/UOptions.h"
#include "shell/UnitInfo.h"

#include <QObject>
#include <QPointer>
#include <QPrinter>
#include <QWidget>

#include <memory>
#include <string>

namespace shell {

// Step 1: the FFT tables (2048 points, "Blackmann"), the compiler's floating-point reset
// and tables, the resampling filters, the generator's output enumeration. The capture
// backends are probed by the control window's input enumeration; the high-resolution
// clock needs no set-up.
void InitialisationsProcessus(generator::ContexteGene& gene);

class CibleControle;

class Application : public QObject {
    Q_OBJECT
public:
    // Steps 2 to 6: the title, the splash, the windows; the main window is shown. The
    // control window takes the inputs from `entrees` when the caller began their
    // enumeration (see engine::EnumerationEntrees), else enumerates them itself.
    Application(ModeDemarrage mode, std::string cheminReglages, generator::ContexteGene& gene,
                engine::EnumerationEntrees* entrees = nullptr);
    ~Application() override;

    // The window whose closing ends the program; null when the program ended during
    // start-up (no sound input, or no capture driver would open).
    QWidget* FenetrePrincipale() const { return principale_; }

    // What the control window's menu opens: "&Générateur...", "&Options...", "A propos
    // de..." (modal).
    void MontreGenerateur();
    void MontreOptions();
    void MontreInfo();

    // The windows, filled when created; empty when the mode does not create them.
    panel::TForm1* Form1() const { return form1_.get(); }
    display::TAffichage* Affichage() const { return affichage_.get(); }
    TFormOption* FormOption() const { return formOption_.get(); }
    generator::TGeneForm* GeneForm() const { return geneForm_.get(); }
    generator::TFormGeneOption* FormGeneOption() const { return formGeneOption_.get(); }
    TFormInfo* FormInfo() const { return formInfo_.get(); }
    TFormLogo* FormLogo() const { return formLogo_; }

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    // Step 5: the control window, the scope window and the options dialog; false when the
    // program ends there (its message shown).
    bool CreeFenetresOscilloscope();
    // The control window's menu items that open the other windows and export the picture.
    void BrancheMenu();
    // Step 6: the generator window, its options dialog and the about window.
    void CreeFenetresGenerateur();

    ModeDemarrage mode_;
    std::string chemin_;
    generator::ContexteGene& gene_;
    QPointer<TFormLogo> formLogo_; // releases itself when its timer fires
    QWidget* principale_ = nullptr;
    // What the control and scope windows share with the acquisition thread; outlives them.
    engine::ReglagesAffichage reglagesAffichage_;
    engine::ReglagesEntree entree_;
    engine::TablesEntrees tables_;
    engine::EnumerationEntrees* entrees_; // null: enumerated by the control window
    // The options dialog's view of the control window.
    std::unique_ptr<CibleControle> cible_;
    // The printer and its options, kept from one print to the next.
    std::unique_ptr<QPrinter> imprimante_;
    // Declared in creation order, so destroyed last-created first.
    std::unique_ptr<panel::TForm1> form1_;
    std::unique_ptr<display::TAffichage> affichage_;
    std::unique_ptr<TFormOption> formOption_;
    std::unique_ptr<generator::TGeneForm> geneForm_;
    std::unique_ptr<generator::TFormGeneOption> formGeneOption_;
    std::unique_ptr<TFormInfo> formInfo_;
};

} // namespace shell
