// The watch over a capture stream, over a backend of the test's own whose data and
// failures it decides: when it opens the device again, and how often.
#include "platform/Surveillance.h"
#include "support/Attente.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using essai::AttendQue;
using Horloge = std::chrono::steady_clock;

// A device that delivers 48 samples every 2 ms while `Livre`, and whose openings fail
// while `EnPanne` (reporting a failed stream meanwhile).
class FluxEssai final : public platform::FluxCapture {
public:
    std::atomic<bool> Livre{true}, EnPanne{false};

    ~FluxEssai() override { Fermer(); }
    platform::ResultatOuverture Ouvrir(const std::string&, int32_t, int32_t,
                                       platform::AnneauCapture& anneau) override {
        Fermer();
        std::lock_guard v(m_);
        ouvertures_.push_back(Horloge::now());
        if (EnPanne) return platform::ResultatOuverture::Indisponible;
        anneau_ = &anneau;
        return platform::ResultatOuverture::Reussie;
    }
    bool Demarrer() override {
        Arreter();
        if (!anneau_) return false;
        fin_ = false;
        thread_ = std::thread([this] {
            const std::vector<int16_t> bloc(48, 1000);
            while (!fin_) {
                if (Livre && !EnPanne) anneau_->Ecrire(bloc.data(), 48);
                std::this_thread::sleep_for(2ms);
            }
        });
        return true;
    }
    void Arreter() override {
        fin_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void Fermer() override {
        Arreter();
        anneau_ = nullptr;
    }
    bool EnEchec() const override { return EnPanne; }
    std::vector<Horloge::time_point> Ouvertures() {
        std::lock_guard v(m_);
        return ouvertures_;
    }

private:
    std::mutex m_;
    std::vector<Horloge::time_point> ouvertures_;
    platform::AnneauCapture* anneau_ = nullptr;
    std::atomic<bool> fin_{true};
    std::thread thread_;
};

double Secondes(Horloge::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A device that delivered and then fails is opened again at once, not after the time a
// fresh device is given for its first data; then no more often than once per Reprise,
// until it comes back. A device opened again that gives nothing is left that time.
TEST(Surveillance, UneReprisePromptePuisAuPlusUneParDelai) {
    platform::DelaisSurveillance d;
    d.Silence = 40ms;
    d.Reprise = 200ms;
    d.PremieresDonnees = 2000ms;
    d.Pas = 5ms;
    auto possede = std::make_unique<FluxEssai>();
    FluxEssai& essai = *possede;
    auto anneau = std::make_unique<platform::AnneauCapture>();
    auto flux = platform::FluxSurveille(std::move(possede), d);
    ASSERT_EQ(flux->Ouvrir("", 48000, 1, *anneau), platform::ResultatOuverture::Reussie);
    ASSERT_TRUE(flux->Demarrer());
    ASSERT_TRUE(AttendQue([&] { return anneau->Position() > 0; }, 10s, 1ms));

    // Fails right after its first data.
    const auto panne = Horloge::now();
    essai.EnPanne = true;
    ASSERT_TRUE(AttendQue([&] { return essai.Ouvertures().size() >= 2; }));
    EXPECT_LT(Secondes(essai.Ouvertures()[1] - panne), 1.0)
        << "the failure waited for the first data's delay";
    ASSERT_TRUE(AttendQue([&] { return flux->SansDonnees(); }));
    ASSERT_TRUE(AttendQue([&] { return essai.Ouvertures().size() >= 5; }));
    const auto ouvertures = essai.Ouvertures();
    for (size_t k = 2; k < ouvertures.size(); ++k)
        EXPECT_GE(Secondes(ouvertures[k] - ouvertures[k - 1]), 0.15) << "opening " << k;

    // Back: data again, and no more openings.
    essai.EnPanne = false;
    ASSERT_TRUE(AttendQue([&] { return !flux->SansDonnees(); }));
    const size_t reprises = essai.Ouvertures().size();
    const int64_t position = anneau->Position();
    ASSERT_TRUE(AttendQue([&] { return anneau->Position() > position + 48 * 100; }));
    EXPECT_EQ(essai.Ouvertures().size(), reprises);

    // Silent from now on: opened again after Reprise of silence, then given
    // PremieresDonnees for its first data before the next try.
    essai.Livre = false;
    ASSERT_TRUE(AttendQue([&] { return essai.Ouvertures().size() >= reprises + 2; }));
    const auto suite = essai.Ouvertures();
    EXPECT_GE(Secondes(suite[reprises + 1] - suite[reprises]), 1.9);
    flux->Fermer();
}

} // namespace
