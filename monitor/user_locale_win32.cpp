#include "user_locale.h"

#include <windows.h>

// The separator of the user's regional settings.
char UserDecimalSeparator() {
    char text[8] = {};
    const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text);
    return n == 2 && static_cast<unsigned char>(text[0]) < 0x80 ? text[0] : '.';
}
