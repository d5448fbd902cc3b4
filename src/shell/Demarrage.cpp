#include "shell/Demarrage.h"

#include "compiler/Routines.h"
#include "dsp/Fft.h"
#include "dsp/Reechantillonnage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QTimer>

namespace shell {

void InitialisationsProcessus(generator::ContexteGene& gene) {
    dsp::InitTFR(0, 11);
    compiler::InitCompilateur();
    dsp::InitFiltres();
    generator::InitGene(gene);
}

Application::Application(ModeDemarrage mode, std::string cheminReglages,
                         generator::ContexteGene& gene)
    : mode_(mode), chemin_(std::move(cheminReglages)), gene_(gene) {
    // Closing the main window ends the program, whatever other window is still open.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QString::fromUtf8(TitreOscilloscope));

    formLogo_ = new TFormLogo;
    formLogo_->setAttribute(Qt::WA_DeleteOnClose);
    formLogo_->MontreMaintenant();

    if (mode_ == ModeDemarrage::Generateur)
        QApplication::setApplicationName(QString::fromUtf8(TitreGenerateurSeul));
    else
        CreeFenetresOscilloscope();
    CreeFenetresGenerateur();

    principale_ = form1_ ? form1_.get() : geneForm_.get();
    principale_->installEventFilter(this);
    principale_->show();
}

Application::~Application() {
    delete formLogo_.data();
}

void Application::CreeFenetresOscilloscope() {
    // Until the control window exists: a stand-in main window with its "&Générateur..."
    // shortcut. The scope window comes with the control window.
    form1_ = std::make_unique<QWidget>();
    form1_->setWindowTitle(QStringLiteral("Tamburella"));
    form1_->setFixedSize(378, 150);
    form1_->move(10, 5);
    auto* generateur = new QAction(form1_.get());
    generateur->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    connect(generateur, &QAction::triggered, this, &Application::MontreGenerateur);
    form1_->addAction(generateur);

    // The control window owns what the options dialog edits; its hint flag, read from its
    // settings, is the generator window's too.
    if (auto* cible = dynamic_cast<CibleOptions*>(form1_.get())) {
        gene_.BullesGene = cible->Bulles();
        formOption_ = std::make_unique<TFormOption>(
            *cible, QApplication::applicationName().toStdString(), chemin_, [this](bool bulles) {
                if (geneForm_) geneForm_->AfficheBulles(bulles);
            });
    }
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
