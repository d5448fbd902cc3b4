#include "generator/UnitGeneOptions.h"

#include "generator/UGene.h"
#include "platform/Ini.h"
#include "ui_UnitGeneOptions.h"

#include <QShowEvent>
#include <QSignalBlocker>

namespace generator {

TFormGeneOption::TFormGeneOption(PanneauGene& panneau, std::string titreApplication,
                                 std::string cheminReglages, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TFormGeneOption>()), modele_(panneau, std::move(titreApplication)),
      chemin_(std::move(cheminReglages)) {
    ui_->setupUi(this);
    setFixedSize(size());
    MontreMessage = [this](const MessageGene& m) { TGeneForm::MessageModal(this, m); };

    // FormCreate.
    const panel::ReglagesGeneOptions r =
        panel::LitReglagesGeneOptions(platform::FichierIni(chemin_));
    move(r.Fenetre.Gauche, r.Fenetre.Haut);
    for (const std::string& nom : modele_.Etat.NomsSorties)
        ui_->ComboBoxSortieSon->addItem(QString::fromStdString(nom));

    Ui::TFormGeneOption& u = *ui_;
    connect(u.ComboBoxSortieSon, &QComboBox::activated, this, [this](int entree) {
        modele_.ComboBoxSortieSonChange(entree);
        Affiche();
    });
    connect(u.ComboBoxFreq, &QComboBox::editTextChanged, this, [this](const QString& texte) {
        modele_.ComboBoxFreqChange(texte.toStdString());
        Affiche();
    });
    connect(u.CheckBoxCanalSync, &QCheckBox::clicked, this, [this](bool coche) {
        modele_.CheckBoxCanalSyncClick(coche);
        Affiche();
    });
    connect(u.ButtonAppliquer, &QPushButton::clicked, this,
            [this] { Execute(modele_.ButtonAppliquerClick()); });
    connect(u.ButtonOk, &QPushButton::clicked, this, [this] { Execute(modele_.ButtonOkClick()); });
    connect(u.ButtonQuitter, &QPushButton::clicked, this, &QWidget::close);
}

TFormGeneOption::~TFormGeneOption() {
    const auto erreur = panel::EnregistreReglages(
        chemin_, panel::ReglagesGeneOptions{panel::PositionFenetre{x(), y()}});
    if (erreur) MontreMessage(MessageGene{*erreur, windowTitle().toStdString(), Icone::Erreur});
}

void TFormGeneOption::showEvent(QShowEvent* evenement) {
    QWidget::showEvent(evenement);
    if (evenement->spontaneous()) return;
    modele_.FormShow();
    Affiche();
}

void TFormGeneOption::Affiche() {
    const EtatOptionsGene& e = modele_.Etat;
    Ui::TFormGeneOption& u = *ui_;
    const QSignalBlocker b1(u.ComboBoxSortieSon), b2(u.ComboBoxFreq), b3(u.CheckBoxCanalSync);
    u.ComboBoxSortieSon->setCurrentIndex(e.Sortie);
    QStringList liste;
    for (const std::string& fe : e.ListeFe)
        liste << QString::fromStdString(fe);
    QStringList actuelle;
    for (int i = 0; i < u.ComboBoxFreq->count(); ++i)
        actuelle << u.ComboBoxFreq->itemText(i);
    if (actuelle != liste) {
        u.ComboBoxFreq->clear();
        u.ComboBoxFreq->addItems(liste);
    }
    const QString texte = QString::fromStdString(e.TexteFe);
    if (u.ComboBoxFreq->currentText() != texte) {
        if (e.IndexFe >= 0)
            u.ComboBoxFreq->setCurrentIndex(e.IndexFe);
        else
            u.ComboBoxFreq->setEditText(texte);
    }
    u.CheckBoxCanalSync->setChecked(e.CanalSync);
    u.ButtonAppliquer->setEnabled(e.Appliquer);
}

void TFormGeneOption::Execute(const ResultatOptionsGene& r) {
    Affiche();
    if (r.Message) MontreMessage(*r.Message);
    if (r.Fermer) close();
}

} // namespace generator
