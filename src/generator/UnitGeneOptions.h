// The generator options dialog: the controls of UnitGeneOptions.ui over OptionsGene.
//
// Thread contract: the GUI thread.
#pragma once

#include "generator/OptionsGene.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TFormGeneOption;
}

namespace generator {

class TFormGeneOption : public QWidget {
    Q_OBJECT
public:
    // Reads its position from the settings file now, writes it when destroyed.
    // `titreApplication` goes into the restart message.
    TFormGeneOption(PanneauGene& panneau, std::string titreApplication, std::string cheminReglages,
                    QWidget* parent = nullptr);
    ~TFormGeneOption() override;

    // How a message box is shown; a modal QMessageBox unless replaced (tests).
    std::function<void(const MessageGene&)> MontreMessage;

    OptionsGene& Modele() { return modele_; }
    Ui::TFormGeneOption& Controles() { return *ui_; }

protected:
    void showEvent(QShowEvent* evenement) override;

private:
    // The model's state into the controls, without running their change handlers.
    void Affiche();
    void Execute(const ResultatOptionsGene& r);

    std::unique_ptr<Ui::TFormGeneOption> ui_;
    OptionsGene modele_;
    std::string chemin_;
};

} // namespace generator
