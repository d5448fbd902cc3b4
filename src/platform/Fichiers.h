// Whole-file replacement: a reader (or a crash) sees either the old file or the complete
// new one, never half a file. Any thread; nothing here allocates.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace platform {

// Opens a regular file for reading, never anything else, and never waits: a named pipe,
// a device or a folder is refused at once, without being opened (the open itself does not
// wait either, should one be swapped in at the last moment). The descriptor
// (close-on-exec), or -1 with errno: ENOENT for a missing file, EISDIR for a folder,
// EINVAL for any other kind of file, or the error of stat or open.
int OuvreFichierRegulier(const char* chemin);

// The temporary file that replaces `chemin`: beside it, so the final rename stays on
// one file system, and named after the process and the calling thread, so that two
// writers of one file (the menu's save and the buffer file's) never share it.
std::string NomTemporaire(const std::string& chemin);

// Writes `contenu` into `temporaire`, then renames it over `chemin`. With `synchronise`
// the data reach the disk before the rename. `mode`, when not negative, is given to the
// new file as is; otherwise it gets 0666 less the umask. On any failure returns false,
// removes the temporary and leaves `chemin` untouched.
//
// The temporary is always a new file: whatever stands at its name (a stale temporary, a
// link planted there, a named pipe) is removed first, never written through or waited on.
bool RemplaceFichier(const char* chemin, const char* temporaire, std::string_view contenu,
                     bool synchronise, int mode = -1);

// The same for a file that replaces `ancien` (its stat): the new file takes over its
// permission bits, and its owner and group as far as the process may give them (root
// always can, so a save as root leaves the file to its owner; another user keeps the
// group when a member of it).
bool RemplaceFichier(const char* chemin, const char* temporaire, std::string_view contenu,
                     bool synchronise, const struct stat& ancien);

// Whether an existing file must not be replaced: it is not a regular file (a folder, a
// named pipe, a device), it lacks every write permission bit (refused even to root, as a
// read-only file of the platform refuses its administrator) or the process may not
// write it. False for a file that does not exist.
bool EcritureRefusee(const char* chemin);
// The same on the file's stat, taken by the caller.
bool EcritureRefusee(const char* chemin, const struct stat& etat);

// Creates the folder and its missing parents (mode 0777 less the umask). True when the
// folder exists afterwards.
bool CreeDossiers(const std::string& dossier);

} // namespace platform
