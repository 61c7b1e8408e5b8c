#include "PortLog.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace BPrivate {

void
PortLog::Line(const char* format, ...)
{
	static const char kPrefix[] = "rdx-kit: ";
	char line[1024];
	size_t length = sizeof(kPrefix) - 1;
	memcpy(line, kPrefix, length);

	va_list args;
	va_start(args, format);
	int written = vsnprintf(line + length, sizeof(line) - length - 1, format,
		args);
	va_end(args);
	if (written < 0)
		return;
	length += (size_t)written < sizeof(line) - length - 1
		? (size_t)written : sizeof(line) - length - 2;
	// Whatever was formatted stays one line.
	for (size_t i = sizeof(kPrefix) - 1; i < length; i++) {
		if (line[i] == '\n' || line[i] == '\r')
			line[i] = ' ';
	}
	line[length++] = '\n';

	const char* rest = line;
	while (length > 0) {
		ssize_t count = write(STDERR_FILENO, rest, length);
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0)
			return;
		rest += count;
		length -= (size_t)count;
	}
}

}	// namespace BPrivate
