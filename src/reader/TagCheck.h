#ifndef TAG_CHECK_H
#define TAG_CHECK_H

#include <cstdio>
#include <string>

class TagList;

// What rdx-reader says of its tag list: one line for every line of the
// list that cannot be used, and for --check the verdict on one tag, made
// by the same decision as a live read.
class TagCheck {
public:
	// "rdx-reader: PATH, line N: what is wrong", one per problem.
	static	void			PrintProblems(FILE* output, const TagList& list);

	// Loads the list and says whether the tag passes at the local time
	// ("YYYY-MM-DD HH:MM", with an offset "+01:00" for one of an hour that
	// happens twice; empty for now) and which line decided: 0 when it
	// would pass, 1 when not.
	static	int				Run(const std::string& path,
								const std::string& tag, const std::string& at,
								FILE* output);
};

#endif
