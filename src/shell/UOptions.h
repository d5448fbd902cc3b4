// The options dialog: the controls of UOptions.ui over ModeleOptions. Created at start-up
// in the normal mode, shown (not modally) from the control window's menu, hidden between
// showings.
//
// Thread contract: the GUI thread.
#pragma once

#include "shell/ModeleOptions.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
namespace Ui {
class TFormOption;
}

namespace shell {

class TFormOption : public QWidget {
    Q_OBJECT
public:
    // Reads its position and page from the settings file now ("FenetreOptions"), writes
    // them when destroyed. `bullesGene` switches the generator window's hints.
    TFormOption(CibleOptions& cible, std::string titreApplication, std::string cheminReglages,
                std::function<void(bool)> bullesGene = {}, QWidget* parent = nullptr);
    ~TFormOption() override;

    // How a message box is shown; a modal QMessageBox unless replaced (tests).
    std::function<void(const MessageGene&)> MontreMessage;

    ModeleOptions& Modele() { return modele_; }
    Ui::TFormOption& Controles() { return *ui_; }

protected:
    void showEvent(QShowEvent* evenement) override;

private:
    void Relie();
    // The model's state into the controls, without running their change handlers.
    void Affiche();
    void Execute(const ResultatOptions& r);

    std::unique_ptr<Ui::TFormOption> ui_;
    ModeleOptions modele_;
    std::string chemin_;
    QButtonGroup *groupe1_, *groupe2_, *groupeType_, *groupeVSync_;
};

} // namespace shell
