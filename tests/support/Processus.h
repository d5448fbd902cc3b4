// Starting the outside programs the tests drive (servers, xdotool, the program itself):
// no terminal input, and nothing a child prints may hold the test's own output open.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace essai {

// Starts `arguments` (looked up in PATH) with stdin on /dev/null, stdout on `sortie` (or
// /dev/null when negative), stderr appended to `journal`, and `fd3`, when not negative,
// as descriptor 3. The child's pid, or -1.
pid_t LanceProcessus(const std::vector<std::string>& arguments, int sortie,
                     const std::string& journal, int fd3 = -1);

} // namespace essai
