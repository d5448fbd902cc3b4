// Whole-file replacement: a reader (or a crash) sees either the old file or the complete
// new one, never half a file. Any thread; nothing here allocates.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The temporary file that replaces `chemin`: beside it, so the final rename stays on
// one file system, and named after the process and the calling thread, so that two
// writers of one file (the menu's save and the buffer file's) never share it.
std::string NomTemporaire(const std::string& chemin);

// Writes `contenu` into `temporaire` (created or truncated), then renames it over
// `chemin`. With `synchronise` the data reach the disk before the rename. `mode`, when
// not negative, is given to the new file as is; otherwise it gets 0666 less the umask.
// On any failure returns false, removes the temporary and leaves `chemin` untouched.
bool RemplaceFichier(const char* chemin, const char* temporaire, std::string_view contenu,
                     bool synchronise, int mode = -1);

// Whether an existing file must not be replaced: it lacks every write permission bit
// (refused even to root, as a read-only file of the platform refuses its administrator)
// or the process may not write it. False for a file that does not exist.
bool EcritureRefusee(const char* chemin);

// Creates the folder and its missing parents (mode 0777 less the umask). True when the
// folder exists afterwards.
bool CreeDossiers(const std::string& dossier);

} // namespace platform
