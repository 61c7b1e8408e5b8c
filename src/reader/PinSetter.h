#ifndef PIN_SETTER_H
#define PIN_SETTER_H

#include <cstdio>
#include <string>

// rdx-reader --set-pin TAG: asks for the tag's PIN (twice, without echo,
// when standard input is a terminal; else one line from it, for scripts),
// and writes its slow hash into the tag's line through the list's editor:
// under the writers' lock, atomically, every other byte kept. The digits
// are read byte by byte into locked memory (no stdio buffer holds them)
// and overwritten as soon as the hash is made.
class PinSetter {
public:
	// 0 once the PIN is written, 1 when not, with a line saying why.
	static	int				Run(const std::string& path,
								const std::string& tag, int input,
								FILE* output, FILE* errors);
};

#endif
