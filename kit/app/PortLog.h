#ifndef _PORT_LOG_H
#define _PORT_LOG_H

namespace BPrivate {

// The lines the message port prints: standard error, one line each, with
// the prefix "rdx-kit: ", written with a single write() so that lines from
// several threads never interleave.
class PortLog {
public:
	static	void			Line(const char* format, ...)
								__attribute__((format(printf, 1, 2)));
};

}	// namespace BPrivate

#endif
