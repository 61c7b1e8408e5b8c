#ifndef _B_LOCALE_H
#define _B_LOCALE_H

// The translated text for a default (English) text, from the program's
// message catalogue (text domain "rdx") in the user's language as the
// environment chooses it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
class BLocale {
public:
							BLocale();
							~BLocale();

	// The translation of the key, or the key itself when there is none.
	// Never null: a null key gives an empty text. The result lives as long
	// as the key, or as the catalogue.
			const char*		GetString(const char* key) const;

	// Where the catalogues were looked for.
			const char*		CatalogueDirectory() const;
};

extern BLocale* be_locale;

namespace Z {
namespace Locale {
using ::BLocale;
using ::be_locale;
}
}

#endif
