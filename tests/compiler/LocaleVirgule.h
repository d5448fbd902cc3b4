// A French locale for the calling thread, whose decimal separator is the comma. When the
// machine has none, one is built from the C library's locale sources into a temporary
// folder (localedef) and loaded from there.
#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale.h>
#include <string>
#include <system_error>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

class LocaleVirgule {
public:
    LocaleVirgule() {
        constexpr const char* Nom = "fr_FR.UTF-8";
        locale_ = newlocale(LC_ALL_MASK, Nom, nullptr);
        if (!locale_) {
            char modele[] = "/tmp/tamburella-locale-XXXXXX";
            if (!mkdtemp(modele)) {
                erreur_ = "mkdtemp a échoué";
                return;
            }
            dossier_ = modele;
            const std::string commande = "localedef -c -i fr_FR -f UTF-8 '" + dossier_.string() +
                                         "/" + Nom + "' >/dev/null 2>&1";
            if (std::system(commande.c_str()) != 0) {
                erreur_ = "localedef a échoué (paquet locales ?)";
                return;
            }
            // LOCPATH is read when a locale is loaded, not afterwards. The C library keeps
            // its copy of the search path for good; that is not a leak of ours.
            setenv("LOCPATH", dossier_.c_str(), 1);
#if defined(__SANITIZE_ADDRESS__)
            __lsan_disable();
#endif
            locale_ = newlocale(LC_ALL_MASK, Nom, nullptr);
#if defined(__SANITIZE_ADDRESS__)
            __lsan_enable();
#endif
            unsetenv("LOCPATH");
            if (!locale_) {
                erreur_ = "newlocale a échoué";
                return;
            }
        }
        precedente_ = uselocale(locale_);
    }
    ~LocaleVirgule() {
        if (precedente_) uselocale(precedente_);
        if (locale_) freelocale(locale_);
        if (!dossier_.empty()) {
            std::error_code ignoree;
            std::filesystem::remove_all(dossier_, ignoree);
        }
    }
    LocaleVirgule(const LocaleVirgule&) = delete;
    LocaleVirgule& operator=(const LocaleVirgule&) = delete;

    bool Active() const {
        return precedente_ != nullptr;
    }
    const std::string& Erreur() const {
        return erreur_;
    }

private:
    locale_t locale_ = nullptr;
    locale_t precedente_ = nullptr;
    std::filesystem::path dossier_;
    std::string erreur_;
};
