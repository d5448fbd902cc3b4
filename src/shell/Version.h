// The program's name and version as its windows show them, and the addresses of the about
// window (build-time settings of the project).
#pragma once

#include <QString>

namespace shell {

// "Tamburella v0.88".
inline QString TitreLogiciel() {
    return QStringLiteral("Tamburella v" TAMBURELLA_VERSION);
}
inline QString AdressePageWeb() {
    return QStringLiteral(TAMBURELLA_PAGE_WEB);
}
inline QString AdresseMail() {
    return QStringLiteral(TAMBURELLA_MAIL);
}

} // namespace shell
