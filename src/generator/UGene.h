// The generator window: the controls of UGene.ui over PanneauGene. It turns events into
// calls on the panel and shows what they return; the logic is in PanneauGene.
//
// Thread contract: the GUI thread.
#pragma once

#include "generator/PanneauGene.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QLineEdit;
class QMenu;
namespace Ui {
class TGeneForm;
}

namespace generator {

class TGeneForm : public QWidget {
    Q_OBJECT
public:
    // Reads its sections of the settings file `cheminReglages` now (FormCreate) and writes
    // them when destroyed (FormDestroy).
    TGeneForm(ContexteGene& contexte, std::string cheminReglages, QWidget* parent = nullptr);
    ~TGeneForm() override;

    // Hints shown or hidden at once (the options dialog's "Bulles d'aide").
    void AfficheBulles(bool bulles);

    // What "&Options..." opens (the generator options dialog).
    std::function<void()> MontreOptions;
    // How a message box is shown; a modal QMessageBox unless replaced (tests).
    std::function<void(const MessageGene&)> MontreMessage;

    PanneauGene& Panneau() { return panneau_; }
    Ui::TGeneForm& Controles() { return *ui_; }
    QMenu* PopupMenu1() const { return menu_; }
    QTimer& Timer1() { return timer1_; }
    // The preview as last drawn.
    const QImage& Image() const { return image_; }

    // A modal message box with the texts of a generator message ("\r" breaks lines).
    static void MessageModal(QWidget* parent, const MessageGene& message);

protected:
    bool eventFilter(QObject* objet, QEvent* evenement) override;
    void showEvent(QShowEvent* evenement) override;
    void closeEvent(QCloseEvent* evenement) override;

private:
    void Relie();
    // Fields into the panel before a handler; then what it returned, and the state.
    void LitChamps();
    void Execute(const ResultatGene& r);
    void Affiche();
    void DessineApercu();
    QLineEdit* Edit(Champ champ) const;
    std::string* Texte(Champ champ);
    // The handler's result shown, with the fields read before it runs.
    template <class Gestionnaire>
    void Lance(Gestionnaire gestionnaire);

    std::unique_ptr<Ui::TGeneForm> ui_;
    ContexteGene& contexte_;
    PanneauGene panneau_;
    std::string chemin_;
    QMenu* menu_ = nullptr;
    QTimer timer1_;
    QImage image_;
    bool ferme_ = true; // the close query ran since the last showing
};

} // namespace generator
