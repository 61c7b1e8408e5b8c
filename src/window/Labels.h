#ifndef RDX_LABELS_H
#define RDX_LABELS_H

// Label numbers of the texts the window looks up in the user's language.
enum {
	LABEL_USE_RDX = 91,
	LABEL_TAGS_USE_RELAY = 92,
	LABEL_RELAY_CLOSE_AFTER = 94,
	LABEL_OPEN_ALL_RELAY = 99,
};

// Default English texts by label number: 122 texts and a null.
extern const char* const eLabel[];

// The text to show for a label (0 to 121): the default text translated, or
// the default text itself where no translation exists. Never null.
const char* getLabel(int label);

#endif
