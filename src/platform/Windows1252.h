// Text in the Windows-1252 code page, the settings file's encoding. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to Windows-1252. Returns false (and leaves `sortie` unspecified) when the text
// is not valid UTF-8 or holds a character that the code page cannot represent.
bool VersWindows1252(std::string_view utf8, std::string& sortie);

// Windows-1252 to UTF-8. The five unassigned bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) become
// the control characters of the same number, as the platform's own conversion does.
std::string DepuisWindows1252(std::string_view texte);

// Whether the bytes form valid UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool EstUtf8Valide(std::string_view texte);

// The letter-case fold of one Windows-1252 byte: upper-case letters (ASCII, the accented
// Latin-1 letters, Š, Œ, Ž, Ÿ) become lower-case; every other byte is kept.
unsigned char MinusculeWindows1252(unsigned char c);

} // namespace platform
