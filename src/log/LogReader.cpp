#include "LogReader.h"

#include "AccessLogFile.h"

#include <Locale.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string
base_name(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}


// The descriptor of an open file, closed when it goes.
class FileDescriptor {
public:
	explicit FileDescriptor(int fd = -1) : fFd(fd) {}
	~FileDescriptor() { Reset(); }
	FileDescriptor(const FileDescriptor&) = delete;
	FileDescriptor& operator=(const FileDescriptor&) = delete;

	int Get() const { return fFd; }
	void Reset(int fd = -1)
	{
		if (fFd >= 0)
			close(fFd);
		fFd = fd;
	}

private:
	int fFd;
};


// A line that is not yet whole. One longer than any record is let go as it
// comes (only that it is too long is kept), so that no line, however long,
// is held in memory.
struct PendingLine {
	std::string		text;
	bool			overlong = false;

	void Clear()
	{
		text.clear();
		overlong = false;
	}
};


// Reads what the descriptor has up to its end and hands on every whole
// line, or null for a line too long to be a record; a last line without
// its '\n' stays pending, since its writer may not be done with it.
bool
read_lines(int fd, PendingLine* pending,
	const std::function<bool(const std::string*)>& each)
{
	char buffer[65536];
	for (;;) {
		ssize_t count = read(fd, buffer, sizeof(buffer));
		if (count < 0 && errno == EINTR)
			continue;
		if (count < 0)
			return false;
		if (count == 0)
			return true;
		const char* at = buffer;
		const char* end = buffer + count;
		while (at < end) {
			const char* newline = (const char*)memchr(at, '\n',
				(size_t)(end - at));
			const char* stop = newline != nullptr ? newline : end;
			if (!pending->overlong) {
				pending->text.append(at, (size_t)(stop - at));
				if (pending->text.size() > LogRecord::kMaxLine) {
					pending->text.clear();
					pending->text.shrink_to_fit();
					pending->overlong = true;
				}
			}
			at = stop;
			if (newline == nullptr)
				break;
			at++;
			bool going = pending->overlong ? each(nullptr)
				: each(&pending->text);
			pending->Clear();
			if (!going) {
				// What follows is read again from here next time.
				lseek(fd, (off_t)(at - end), SEEK_CUR);
				return true;
			}
		}
	}
}

}	// namespace


LogReader::LogReader(const std::string& path)
	:
	fPath(path),
	fStopEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}


LogReader::~LogReader()
{
	if (fStopEvent >= 0)
		close(fStopEvent);
}


void
LogReader::Stop()
{
	uint64_t one = 1;
	if (fStopEvent >= 0 && write(fStopEvent, &one, sizeof(one)) < 0)
		return;
}


void
LogReader::_Take(const std::string* line, const std::string& file,
	int lineNumber, const std::function<void(LogRecord&&)>& each)
{
	if (line != nullptr && line->empty())
		return;
	std::optional<LogRecord> record = line != nullptr
		? LogRecord::Parse(*line) : std::nullopt;
	if (!record) {
		if (fDamaged++ == 0)
			fFirstDamage = file + " line " + std::to_string(lineNumber);
		return;
	}
	each(std::move(*record));
}


status_t
LogReader::ReadAll(std::vector<LogRecord>* records)
{
	std::vector<std::string> files;
	for (int n = RDX_LOG_KEPT_FILES; n >= 1; n--)
		files.push_back(RotatedLogPath(fPath, n));
	files.push_back(fPath);

	for (const std::string& file : files) {
		FileDescriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
		if (fd.Get() < 0) {
			if (errno == ENOENT)
				continue;
			fError = translate_format("cannot read %s: %s", file.c_str(),
				strerror(errno));
			return B_ERROR;
		}
		PendingLine pending;
		int lineNumber = 0;
		auto take = [&](const std::string* line) {
			_Take(line, base_name(file), ++lineNumber,
				[&](LogRecord&& record) {
					records->push_back(std::move(record));
				});
			return true;
		};
		if (!read_lines(fd.Get(), &pending, take)) {
			fError = translate_format("cannot read %s: %s", file.c_str(),
				strerror(errno));
			return B_ERROR;
		}
		// A half line at the end of a rotated file is damaged; at the end
		// of the current one it may still be written to.
		if (file != fPath) {
			if (pending.overlong || !pending.text.empty())
				take(pending.overlong ? nullptr : &pending.text);
		}
		else {
			struct stat info;
			if (fstat(fd.Get(), &info) == 0) {
				fDevice = info.st_dev;
				fInode = info.st_ino;
				fReadTo = lseek(fd.Get(), 0, SEEK_CUR)
					- (off_t)pending.text.size();
				fReadLines = lineNumber;
			}
		}
	}
	std::stable_sort(records->begin(), records->end(),
		[](const LogRecord& a, const LogRecord& b) {
			return a.Time() < b.Time();
		});
	return B_OK;
}


status_t
LogReader::Follow(const std::function<bool(const LogRecord&)>& each,
	const std::function<void(const std::string&)>& damaged)
{
	size_t slash = fPath.rfind('/');
	std::string directory = slash == std::string::npos ? "."
		: slash == 0 ? "/" : fPath.substr(0, slash);
	std::string name = base_name(fPath);

	// The watch comes first, so that nothing written between reading and
	// waiting goes unseen.
	FileDescriptor watch(inotify_init1(IN_CLOEXEC));
	if (watch.Get() < 0) {
		fError = translate_format("cannot watch for changes: %s",
			strerror(errno));
		return B_ERROR;
	}
	if (inotify_add_watch(watch.Get(), directory.c_str(), IN_MODIFY
			| IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE_SELF
			| IN_MOVE_SELF) < 0) {
		fError = translate_format("cannot watch %s: %s", directory.c_str(),
			strerror(errno));
		return B_ERROR;
	}

	FileDescriptor log;
	PendingLine pending;
	int lineNumber = 0;
	bool going = true;
	auto take = [&](const std::string* line) {
		int before = fDamaged;
		_Take(line, name, ++lineNumber, [&](LogRecord&& record) {
			going = each(record);
		});
		if (fDamaged > before && damaged != nullptr)
			damaged(name + " line " + std::to_string(lineNumber));
		return going;
	};
	// Opens the file now at the path; from where ReadAll stopped if it is
	// the same file, else from its start.
	auto reopen = [&]() {
		log.Reset(open(fPath.c_str(), O_RDONLY | O_CLOEXEC));
		pending.Clear();
		struct stat info;
		lineNumber = 0;
		if (log.Get() >= 0 && fstat(log.Get(), &info) == 0
			&& info.st_dev == fDevice && info.st_ino == fInode) {
			lseek(log.Get(), fReadTo, SEEK_SET);
			lineNumber = fReadLines;
		}
		fDevice = 0;
		fInode = 0;
	};
	reopen();

	char events[sizeof(struct inotify_event) + NAME_MAX + 1]
		__attribute__((aligned(__alignof__(struct inotify_event))));
	while (going) {
		if (log.Get() >= 0 && !read_lines(log.Get(), &pending, take)) {
			fError = translate_format("cannot read %s: %s", fPath.c_str(),
				strerror(errno));
			return B_ERROR;
		}
		if (!going)
			break;

		// A window that follows the log ends it from its own thread.
		struct pollfd waits[2] = {{watch.Get(), POLLIN, 0},
			{fStopEvent, POLLIN, 0}};
		if (poll(waits, fStopEvent >= 0 ? 2 : 1, -1) < 0) {
			if (errno == EINTR)
				continue;
			fError = std::string("cannot watch for changes: ")
				+ strerror(errno);
			return B_ERROR;
		}
		if ((waits[1].revents & POLLIN) != 0)
			break;
		ssize_t count = read(watch.Get(), events, sizeof(events));
		if (count < 0 && errno == EINTR)
			continue;
		if (count <= 0) {
			fError = translate_format("cannot watch for changes: %s",
				strerror(errno));
			return B_ERROR;
		}
		bool replaced = false;
		for (char* at = events; at < events + count;) {
			struct inotify_event* event = (struct inotify_event*)at;
			at += sizeof(struct inotify_event) + event->len;
			if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
				fError = translate_format("%s went away", directory.c_str());
				return B_ERROR;
			}
			if (event->len > 0 && name == event->name
				&& (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
				replaced = true;
			}
		}
		if (replaced) {
			// What was written to the old file before it moved comes
			// first.
			if (log.Get() >= 0)
				read_lines(log.Get(), &pending, take);
			if (!going)
				break;
			reopen();
		} else if (log.Get() < 0)
			reopen();
	}
	return B_OK;
}
