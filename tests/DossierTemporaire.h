// A fresh folder under the system's temporary folder, removed with everything in it at
// the end of the test, and small file helpers for tests that write files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class DossierTemporaire {
public:
    DossierTemporaire() {
        std::string modele =
            (std::filesystem::temp_directory_path() / "tamburella-XXXXXX").string();
        if (!::mkdtemp(modele.data())) ADD_FAILURE() << "mkdtemp failed";
        chemin_ = modele;
    }
    ~DossierTemporaire() {
        std::error_code erreur;
        std::filesystem::permissions(chemin_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, erreur);
        std::filesystem::remove_all(chemin_, erreur);
    }
    DossierTemporaire(const DossierTemporaire&) = delete;
    DossierTemporaire& operator=(const DossierTemporaire&) = delete;

    std::string Chemin(const std::string& nom) const { return (chemin_ / nom).string(); }
    const std::filesystem::path& Dossier() const { return chemin_; }
    // Names of the files in the folder, sorted.
    std::vector<std::string> Fichiers() const {
        std::vector<std::string> noms;
        for (const auto& entree : std::filesystem::directory_iterator(chemin_))
            noms.push_back(entree.path().filename().string());
        std::sort(noms.begin(), noms.end());
        return noms;
    }

private:
    std::filesystem::path chemin_;
};

inline std::string LitFichier(const std::string& chemin) {
    std::ifstream flux(chemin, std::ios::binary);
    return {std::istreambuf_iterator<char>(flux), std::istreambuf_iterator<char>()};
}

inline void EcritFichier(const std::string& chemin, const std::string& contenu) {
    std::ofstream flux(chemin, std::ios::binary | std::ios::trunc);
    flux << contenu;
}
