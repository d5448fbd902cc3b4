// The decimal separator with which numbers are shown and read: a comma under French
// settings. Any thread.
#pragma once

namespace platform {

// The C library's LC_NUMERIC separator (the program sets its locale from the user's
// environment at start-up), unless one was imposed.
char SeparateurDecimal();

// Imposes a separator (tests, or a user's explicit choice); '\0' returns to the locale.
void ImposeSeparateurDecimal(char separateur);

} // namespace platform
