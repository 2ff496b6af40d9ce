#pragma once

// The user's own number format, which readings are shown in. One
// implementation per OS (user_locale_linux.cpp, user_locale_win32.cpp); the
// process locale is never consulted or changed.

// The user's decimal separator: '.' when it is not a single ASCII character.
char UserDecimalSeparator();
