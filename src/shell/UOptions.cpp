#include "shell/UOptions.h"

#include "generator/UGene.h"
#include "panel/Reglages.h"
#include "platform/Ini.h"
#include "ui_UOptions.h"

#include <QButtonGroup>
#include <QShowEvent>
#include <QSignalBlocker>

namespace shell {

namespace {

QString Q(const std::string& texte) {
    return QString::fromStdString(texte);
}

QStringList Liste(const std::vector<std::string>& v) {
    QStringList l;
    for (const std::string& s : v)
        l << Q(s);
    return l;
}

void Remplit(QComboBox* boite, const std::vector<std::string>& v) {
    const QStringList l = Liste(v);
    QStringList actuelle;
    for (int i = 0; i < boite->count(); ++i)
        actuelle << boite->itemText(i);
    if (actuelle == l) return;
    boite->clear();
    boite->addItems(l);
}

QButtonGroup* Groupe(QWidget* parent, std::initializer_list<QAbstractButton*> boutons) {
    auto* g = new QButtonGroup(parent);
    int id = 0;
    for (QAbstractButton* b : boutons)
        g->addButton(b, id++);
    return g;
}

void Coche(QButtonGroup* g, int id) {
    if (QAbstractButton* b = g->button(id)) {
        b->setChecked(true);
    } else if (QAbstractButton* coche = g->checkedButton()) {
        g->setExclusive(false);
        coche->setChecked(false);
        g->setExclusive(true);
    }
}

} // namespace

TFormOption::TFormOption(CibleOptions& cible, std::string titreApplication,
                         std::string cheminReglages, std::function<void(bool)> bullesGene,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TFormOption>()),
      modele_(cible, std::move(titreApplication), std::move(bullesGene)),
      chemin_(std::move(cheminReglages)) {
    ui_->setupUi(this);
    setFixedSize(size());
    MontreMessage = [this](const MessageGene& m) { generator::TGeneForm::MessageModal(this, m); };
    Ui::TFormOption& u = *ui_;
    groupe1_ = Groupe(this, {u.RadioGroup1_0, u.RadioGroup1_1});
    groupe2_ = Groupe(this, {u.RadioGroup2_0, u.RadioGroup2_1});
    groupeType_ = Groupe(this, {u.RadioGroupTypePilote_0, u.RadioGroupTypePilote_1});
    groupeVSync_ = Groupe(this, {u.RadioGroupVSync_0, u.RadioGroupVSync_1, u.RadioGroupVSync_2});
    Relie();

    // FormCreate.
    const panel::ReglagesOptions r = panel::LitReglagesOptions(platform::FichierIni(chemin_));
    move(r.Fenetre.Gauche, r.Fenetre.Haut);
    u.PageControl1->setCurrentIndex(r.PageIndex);
}

TFormOption::~TFormOption() {
    panel::ReglagesOptions r;
    r.Fenetre = {x(), y()};
    r.PageIndex = ui_->PageControl1->currentIndex();
    if (const auto erreur = panel::EnregistreReglages(chemin_, r))
        MontreMessage(MessageGene{*erreur, windowTitle().toStdString(), Icone::Erreur});
}

void TFormOption::Relie() {
    Ui::TFormOption& u = *ui_;
    EtatOptions& e = modele_.Etat;
    // Each change only enables "Appliquer"; the value waits in the model for the apply.
    auto change = [this] {
        modele_.Change();
        Affiche();
    };
    connect(groupe1_, &QButtonGroup::idClicked, this, [&e, change](int id) {
        e.Proportions = id;
        change();
    });
    connect(groupe2_, &QButtonGroup::idClicked, this, [&e, change](int id) {
        e.Position = id;
        change();
    });
    connect(groupeVSync_, &QButtonGroup::idClicked, this, [&e, change](int id) {
        e.VSync = id;
        change();
    });
    connect(u.CheckBox2, &QCheckBox::clicked, this, [&e, change](bool c) {
        e.Grille = c;
        change();
    });
    connect(u.CheckBoxCurseurs, &QCheckBox::clicked, this, [&e, change](bool c) {
        e.Curseurs = c;
        change();
    });
    connect(u.CheckBoxStereo, &QCheckBox::clicked, this, [&e, change](bool c) {
        e.Stereo = c;
        change();
    });
    connect(u.CheckBoxBulles, &QCheckBox::clicked, this, [&e, change](bool c) {
        e.Bulles = c;
        change();
    });
    connect(u.EditLargGraph, &QLineEdit::textEdited, this, [&e, change](const QString& t) {
        e.LargGraph = t.toStdString();
        change();
    });
    connect(u.EditHautGraph, &QLineEdit::textEdited, this, [&e, change](const QString& t) {
        e.HautGraph = t.toStdString();
        change();
    });
    connect(u.ComboBoxFreq, &QComboBox::editTextChanged, this, [&e, change](const QString& t) {
        e.TexteFe = t.toStdString();
        e.IndexFe = -1;
        for (size_t i = 0; i < e.ListeFe.size(); ++i)
            if (e.ListeFe[i] == e.TexteFe) e.IndexFe = static_cast<int32_t>(i);
        change();
    });
    connect(u.ComboBoxEntreeSon, &QComboBox::activated, this, [this](int entree) {
        modele_.ComboBoxEntreeSonChange(entree);
        Affiche();
    });
    connect(groupeType_, &QButtonGroup::idClicked, this, [this](int type) {
        modele_.RadioGroupTypePiloteClick(type);
        Affiche();
    });
    connect(u.ButtonAppliquer, &QPushButton::clicked, this,
            [this] { Execute(modele_.ButtonAppliquerClick()); });
    connect(u.ButtonOk, &QPushButton::clicked, this, [this] { Execute(modele_.ButtonOkClick()); });
    connect(u.ButtonQuitter, &QPushButton::clicked, this, &QWidget::close);
}

void TFormOption::showEvent(QShowEvent* evenement) {
    QWidget::showEvent(evenement);
    if (evenement->spontaneous()) return;
    modele_.FormShow();
    Affiche();
}

void TFormOption::Affiche() {
    const EtatOptions& e = modele_.Etat;
    Ui::TFormOption& u = *ui_;
    const QSignalBlocker b[] = {QSignalBlocker(u.ComboBoxEntreeSon), QSignalBlocker(u.ComboBoxFreq),
                                QSignalBlocker(u.EditLargGraph), QSignalBlocker(u.EditHautGraph)};
    Coche(groupe1_, e.Proportions);
    Coche(groupe2_, e.Position);
    if (u.EditLargGraph->text() != Q(e.LargGraph)) u.EditLargGraph->setText(Q(e.LargGraph));
    if (u.EditHautGraph->text() != Q(e.HautGraph)) u.EditHautGraph->setText(Q(e.HautGraph));
    u.CheckBox2->setChecked(e.Grille);
    u.CheckBoxCurseurs->setChecked(e.Curseurs);

    Coche(groupeType_, e.TypePilote);
    u.RadioGroupTypePilote->setEnabled(e.TypePiloteActif);
    Remplit(u.ComboBoxEntreeSon, e.Entrees);
    u.ComboBoxEntreeSon->setCurrentIndex(e.Entree);
    Remplit(u.ComboBoxFreq, e.ListeFe);
    if (u.ComboBoxFreq->currentText() != Q(e.TexteFe)) {
        if (e.IndexFe >= 0)
            u.ComboBoxFreq->setCurrentIndex(e.IndexFe);
        else
            u.ComboBoxFreq->setEditText(Q(e.TexteFe));
    }
    u.CheckBoxStereo->setChecked(e.Stereo);

    u.CheckBoxBulles->setChecked(e.Bulles);
    Coche(groupeVSync_, e.VSync);
    u.ButtonAppliquer->setEnabled(e.Appliquer);
}

void TFormOption::Execute(const ResultatOptions& r) {
    Affiche();
    for (const MessageGene& m : r.Messages)
        MontreMessage(m);
    if (r.Fermer) close();
}

} // namespace shell
