#include "user_locale.h"

#include <langinfo.h>
#include <locale.h>

// The locale that LC_ALL, LC_NUMERIC and LANG name, looked up on its own.
char UserDecimalSeparator() {
    const locale_t user = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (!user) return '.';
    const char* radix = ::nl_langinfo_l(RADIXCHAR, user);
    const char separator =
        radix && radix[0] != '\0' && radix[1] == '\0' && static_cast<unsigned char>(radix[0]) < 0x80
            ? radix[0]
            : '.';
    ::freelocale(user);
    return separator;
}
