// The loop player over a stream without sound: opening once, the format, the reset and
// re-queue of each "Go", live changes in place or with a new length, and the messages.
#include "FluxFactice.h"
#include "generator/Generateur.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace generator;

struct BancLecteur {
    FluxFactice flux;
    std::unique_ptr<Generateur> g = std::make_unique<Generateur>(flux);
    ChampsSignal champs;

    explicit BancLecteur(bool sync = false) {
        g->Synth.CanalSyncGene = sync ? 1 : 0;
        champs.Predefini = Sinusoidal;
        champs.Niveau = "0.5";
    }
    platform::TamponLecture& Boucle() { return g->Sortie.EntetesGene[TamponBoucle]; }
};

TEST(Lecteur, DeuxGoOuvrentUneFoisEtRemettentLaBoucleEnFile) {
    for (bool sync : {false, true}) {
        BancLecteur b(sync);
        ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
        EXPECT_TRUE(b.g->Sortie.EnLecture);
        EXPECT_TRUE(b.g->Sortie.SortieOuverte);
        const ResultatGene r = b.g->Boucle.JoueSignal(b.champs);
        EXPECT_TRUE(r.Reussi);
        EXPECT_FALSE(r.Message);
        EXPECT_EQ(b.flux.Ouvertures, 1);
        EXPECT_EQ(b.flux.Reinitialisations, 2);
        ASSERT_EQ(b.flux.LongueursEcrites.size(), 2u);
        EXPECT_EQ(b.flux.LongueursEcrites[1], sync ? 4000u * 4 : 8100u * 2);
        EXPECT_TRUE(b.Boucle().Boucle);
        // The format follows the sync channel.
        const FormatSortie& f = b.g->Sortie.Format;
        EXPECT_EQ(b.flux.Canaux, sync ? 2 : 1);
        EXPECT_EQ(b.flux.Fe, 44100);
        EXPECT_EQ(f.Canaux, sync ? 2 : 1);
        EXPECT_EQ(f.AlignementBloc, sync ? 4 : 2);
        EXPECT_EQ(f.OctetsParSeconde, (sync ? 4 : 2) * 44100);
    }
}

TEST(Lecteur, StopSansLectureNeFaitRien) {
    BancLecteur b;
    b.g->Boucle.StopClick();
    EXPECT_EQ(b.flux.Reinitialisations, 0);
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    b.g->Boucle.StopClick();
    EXPECT_FALSE(b.g->Sortie.EnLecture);
    EXPECT_TRUE(b.g->Sortie.SortieOuverte) << "Stop leaves the output open";
    EXPECT_EQ(b.flux.Reinitialisations, 2);
    b.g->Boucle.StopClick();
    EXPECT_EQ(b.flux.Reinitialisations, 2);
}

// The buffer plays as a seamless loop; a change of level keeps the length and is heard
// at the next frame played, a new frequency with a new length is queued again.
TEST(Lecteur, UnChangementEnDirectEstEntenduAussitot) {
    BancLecteur b;
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    b.flux.Joue(3 * 8100 + 17);
    const std::vector<int16_t> joues = b.flux.Joues();
    const int16_t* tampon = b.g->Sortie.TamponSortie();
    for (size_t i = 0; i < joues.size(); ++i)
        ASSERT_EQ(joues[i], tampon[i % 8100]) << i;

    b.flux.OublieJoues();
    b.champs.Niveau = "1";
    ASSERT_TRUE(b.g->Boucle.CalculeSignal(b.champs).Reussi);
    EXPECT_EQ(b.flux.Reinitialisations, 1) << "same length: rewritten in place";
    b.flux.Joue(100);
    const std::vector<int16_t> apres = b.flux.Joues();
    for (size_t i = 0; i < apres.size(); ++i)
        ASSERT_EQ(apres[i], tampon[(3 * 8100 + 17 + i) % 8100]) << i;
    EXPECT_EQ(*std::max_element(apres.begin(), apres.end()), 32767);

    b.champs.Frequence = "1000";
    ASSERT_TRUE(b.g->Boucle.CalculeSignal(b.champs).Reussi);
    EXPECT_EQ(b.flux.Reinitialisations, 2);
    EXPECT_EQ(b.flux.LongueursEcrites.back(), 8158u * 2);
    b.flux.OublieJoues();
    b.flux.Joue(8158 + 1);
    EXPECT_EQ(b.flux.Joues().front(), tampon[0]) << "the new length starts over";
    EXPECT_EQ(b.flux.Joues().back(), tampon[0]);
}

// A length changed while the output stood idle is the one queued by the next "Go".
TEST(Lecteur, GoApresStopPrendLaLongueurDuNouveauCalcul) {
    BancLecteur b;
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    b.g->Boucle.StopClick();
    b.champs.Frequence = "1000";
    ASSERT_TRUE(b.g->Boucle.CalculeSignal(b.champs).Reussi);
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    EXPECT_EQ(b.flux.LongueursEcrites.back(), 8158u * 2);
}

TEST(Lecteur, LesEchecsDuPeripheriqueSontDesMessages) {
    {
        BancLecteur b;
        b.flux.ResultatOuvrir = platform::ResultatOuverture::Indisponible;
        const ResultatGene r = b.g->Boucle.JoueSignal(b.champs);
        ASSERT_TRUE(r.Message);
        EXPECT_EQ(r.Message->Texte, MessageSortieIndisponible);
        EXPECT_EQ(r.Message->Titre, "Problème");
        EXPECT_EQ(r.Message->Symbole, Icone::Erreur);
        EXPECT_FALSE(b.g->Sortie.SortieOuverte);
        b.flux.ResultatOuvrir = platform::ResultatOuverture::Reussie;
        EXPECT_FALSE(b.g->Boucle.JoueSignal(b.champs).Message);
        EXPECT_EQ(b.flux.Ouvertures, 2);
    }
    {
        BancLecteur b;
        b.flux.CodeEcrire = platform::PoigneeInvalide;
        const ResultatGene r = b.g->Boucle.JoueSignal(b.champs);
        ASSERT_TRUE(r.Message);
        EXPECT_EQ(r.Message->Texte, "N'arrive pas a envoyer\rle tampon\rCode Erreur = 00000005");
        EXPECT_EQ(r.Message->Symbole, Icone::Aucune);
        EXPECT_FALSE(b.g->Sortie.EnLecture);
    }
    {
        // After a failed preparation the output stays open; the next "Go" reports the
        // code of an unprepared buffer.
        BancLecteur b;
        b.flux.CodePreparer = platform::MemoireInsuffisante;
        ResultatGene r = b.g->Boucle.JoueSignal(b.champs);
        ASSERT_TRUE(r.Message);
        EXPECT_EQ(r.Message->Texte, "N'arrive pas a préparer\rla mémoire tampon");
        EXPECT_TRUE(b.g->Sortie.SortieOuverte);
        b.flux.CodePreparer = platform::LectureReussie;
        r = b.g->Boucle.JoueSignal(b.champs);
        ASSERT_TRUE(r.Message);
        EXPECT_EQ(r.Message->Texte, "N'arrive pas a envoyer\rle tampon\rCode Erreur = 00000022");
        EXPECT_EQ(b.flux.Ouvertures, 1);
        EXPECT_FALSE(b.g->Sortie.EnLecture);
    }
    {
        // A failed computation changes nothing and reaches no device.
        BancLecteur b;
        b.champs.Frequence = "?";
        const ResultatGene r = b.g->Boucle.JoueSignal(b.champs);
        EXPECT_FALSE(r.Reussi);
        EXPECT_EQ(r.Fautif, Champ::EditFreq);
        EXPECT_EQ(b.flux.Ouvertures, 0);
    }
}

TEST(Lecteur, UnReenfilementRateFermeLaFenetre) {
    BancLecteur b;
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    b.flux.CodeEcrire = platform::ErreurLecture;
    b.champs.Frequence = "1000";
    EXPECT_TRUE(b.g->Boucle.CalculeSignal(b.champs).FermerFenetre);
    b.g->ArreteEtFerme(true);
    EXPECT_FALSE(b.g->Sortie.SortieOuverte);
    EXPECT_FALSE(b.g->Sortie.EnLecture);
    EXPECT_EQ(b.flux.Fermetures, 1);
    for (const platform::TamponLecture& t : b.g->Sortie.EntetesGene)
        EXPECT_FALSE(t.Prepare);
}

TEST(Lecteur, ArreterEtFermerRevientAFerme) {
    BancLecteur b;
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    b.g->ArreteEtFerme(false);
    EXPECT_FALSE(b.g->Sortie.SortieOuverte);
    EXPECT_TRUE(b.Boucle().Prepare) << "only the close query releases the headers";
    b.g->ArreteEtFerme(false);
    EXPECT_EQ(b.flux.Fermetures, 1);
    ASSERT_TRUE(b.g->Boucle.JoueSignal(b.champs).Reussi);
    EXPECT_EQ(b.flux.Ouvertures, 2);
}

} // namespace
