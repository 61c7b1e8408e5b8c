#ifndef _B_LOCALE_H
#define _B_LOCALE_H

// The translated text for a default (English) text, from the program's
// message catalogue (text domain "rdx") in the user's language as the
// environment chooses it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
#include <string>

class BLocale {
public:
							BLocale();
							~BLocale();

	// The translation of the key, or the key itself when there is none.
	// Never null: a null key gives an empty text. The result lives as long
	// as the key, or as the catalogue.
			const char*		GetString(const char* key) const;
	// A text of many lines (a usage text) translated line by line, each
	// line without its '\n' a key of its own: a line added to the text
	// later leaves the others translated.
			std::string		GetLines(const char* text) const;

	// Where the catalogues were looked for.
			const char*		CatalogueDirectory() const;
};

extern BLocale* be_locale;

// A text of the program's own, in the user's language.
#define B_TRANSLATE(text) be_locale->GetString(text)

// A printf format translated, then filled in.
std::string translate_format(const char* format, ...)
	__attribute__((format(printf, 1, 2)));

namespace Z {
namespace Locale {
using ::BLocale;
using ::be_locale;
}
}

#endif
