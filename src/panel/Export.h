// The export commands of the control window's menu: "&Copier" puts the picture on the
// clipboard, "&Métafichier..." saves it as a picture file, "&Imprimer..." prints it. Each
// records the export picture of the renderer once, then hands the recording on in vector
// form. The window passes what they need; the modal steps can be replaced, so that tests
// run the commands without a user. GUI thread.
#pragma once

#include "display/ImageEnregistree.h"
#include "display/Rendu.h"
#include "panel/ImageExport.h"

#include <QString>

#include <functional>
#include <string>

class QFileDialog;
class QMimeData;
class QPainter;
class QPrinter;
class QRect;
class QWidget;

namespace panel {

// Job title of the prints.
inline constexpr const char* TitreImpression = "Signal de l'oscilloscope";
// Save dialog of the metafiles.
inline constexpr const char* TitreDialogueMetafichier =
    "Enregistre la courbe  du signal dans un métafichier";
inline constexpr const char* FiltreMetafichiers = "Métafichiers *.wmf *.emf (*.wmf *.emf)";
inline constexpr const char* ExtensionMetafichier = "wmf";
// Side of the clipboard's PNG picture, in pixels.
inline constexpr int CotePng = 1000;

// The modal steps of the commands.
struct DialoguesExport {
    // Asks for the metafile to write, starting in `InitialMetaDir` (the system's version
    // shows the save dialog set up by PrepareDialogueMetafichier); the chosen file, "" if
    // cancelled.
    std::function<QString(QWidget* parent, const std::string& InitialMetaDir)> ChoisirFichier;
    // Lets the user choose the printer and its options (the system's version shows the
    // print dialog on `imprimante`); true when the user asked to print.
    std::function<bool(QPrinter& imprimante, QWidget* parent)> ChoisirImpression;
    // A warning message box ("\r" in the text is a line break).
    std::function<void(QWidget* parent, const QString& titre, const QString& texte)> Avertir;
};
// The system's dialogs and message box, modal over their parent.
DialoguesExport DialoguesSysteme();

enum class IssueExport { Fait, Annule, Echec };

// "&Copier" (Ctrl+C): the export picture of 2000 × 2000 units onto the clipboard.
void Copier1Click(const display::VueScope& vue, const display::OptionsExport& options);

// "&Métafichier..." (Ctrl+M): the save dialog, starting in `InitialMetaDir`; the picture
// of LargGraph × HautGraph mm written to the chosen file (placeable WMF for ".wmf",
// enhanced metafile otherwise); `InitialMetaDir` becomes the chosen file's folder. A file
// that cannot be written is reported in a message box titled "Tamburella" naming it, and
// nothing is left under its name. Cancelling changes nothing.
IssueExport Mtafichier1Click(const display::VueScope& vue, const display::OptionsExport& options,
                             const ReglagesImage& reglages, std::string& InitialMetaDir,
                             QWidget* parent,
                             const DialoguesExport& dialogues = DialoguesSysteme());

// "&Imprimer..." (Ctrl+I): job "Signal de l'oscilloscope", orientation from `Position`,
// the print dialog, then one page with the picture on the square of the printable area's
// smaller side at its top left ("Carré") or over the whole printable area ("Ajusté").
// `imprimante` keeps the user's printer and options from one print to the next; null
// prints with a fresh default printer. Cancelling sends no job.
IssueExport Imprimer1Click(const display::VueScope& vue, const display::OptionsExport& options,
                           const ReglagesImage& reglages, QWidget* parent,
                           const DialoguesExport& dialogues = DialoguesSysteme(),
                           QPrinter* imprimante = nullptr);

// The steps of the commands, for tests and benchmarks.

// The save dialog as Mtafichier1Click shows it.
void PrepareDialogueMetafichier(QFileDialog& dialogue, const std::string& InitialMetaDir);
// The printer as Imprimer1Click hands it to the print dialog.
void PrepareImprimante(QPrinter& imprimante, const ReglagesImage& reglages);
// A recorded picture stretched onto `cible` of the painter's device, in vector form.
void PeindreImage(const display::ImageEnregistree& image, QPainter& peintre, const QRect& cible);
// The clipboard's data for a picture: "image/x-emf" at once; "image/svg+xml", "image/png"
// and Qt's own image made from the same recording when a program asks for them.
QMimeData* DonneesPressePapiers(display::ImageEnregistree image);

} // namespace panel
