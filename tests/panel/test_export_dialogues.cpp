// The save dialog of the metafiles as the command shows it: title, filter, default
// extension, overwrite prompt, starting folder; a name typed without extension becomes a
// placeable metafile. Kept out of the ThreadSanitizer run: Qt's file dialog lists folders
// on a thread of its own, inside Qt, whose hand-overs the uninstrumented library hides.

#include "ApplicationQt.h"
#include "DossierTemporaire.h"
#include "panel/Export.h"
#include "panel/ExportExemple.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>

namespace {

using essais::ExportExemple;
using essais::Mot32;
using namespace panel;

TEST(DialogueMetafichier, Preparation) {
    QFileDialog dialogue;
    PrepareDialogueMetafichier(dialogue, "/tmp");
    EXPECT_EQ(dialogue.windowTitle(), "Enregistre la courbe  du signal dans un métafichier");
    EXPECT_EQ(dialogue.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialogue.nameFilters(), QStringList{"Métafichiers *.wmf *.emf (*.wmf *.emf)"});
    EXPECT_EQ(dialogue.defaultSuffix(), "wmf");
    EXPECT_FALSE(dialogue.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialogue.directory().absolutePath(), "/tmp");
}

// The user types "courbe" and presses Save: the dialog adds ".wmf".
TEST(DialogueMetafichier, NomSansExtension) {
    ExportExemple x;
    DossierTemporaire dossier;
    DialoguesExport d = DialoguesSysteme();
    d.ChoisirFichier = [](QWidget* parent, const std::string& InitialMetaDir) {
        QFileDialog dialogue(parent);
        PrepareDialogueMetafichier(dialogue, InitialMetaDir);
        dialogue.setOption(QFileDialog::DontUseNativeDialog);
        dialogue.selectFile("courbe");
        static_cast<QDialog&>(dialogue).accept();
        return dialogue.selectedFiles().value(0);
    };
    std::string InitialMetaDir = dossier.Dossier().string();
    ASSERT_EQ(Mtafichier1Click(x.s.vue, x.options, ReglagesImage{}, InitialMetaDir, nullptr, d),
              IssueExport::Fait);
    EXPECT_EQ(dossier.Fichiers(), std::vector<std::string>{"courbe.wmf"});
    EXPECT_EQ(Mot32(LitFichier(dossier.Chemin("courbe.wmf")), 0), 0x9AC6CDD7u);
}

} // namespace
