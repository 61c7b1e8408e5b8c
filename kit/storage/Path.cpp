#include <Path.h>

#include "StorageErrors.h"

#include <Entry.h>

#include <unistd.h>
#include <vector>

namespace {

// Removes empty and "." components, and ".." with the component before it;
// the path is absolute.
std::string
normalized(const std::string& path)
{
	std::vector<std::string> parts;
	size_t start = 0;
	while (start <= path.size()) {
		size_t end = path.find('/', start);
		if (end == std::string::npos)
			end = path.size();
		std::string part = path.substr(start, end - start);
		if (part == "..") {
			if (!parts.empty())
				parts.pop_back();
		} else if (!part.empty() && part != ".")
			parts.push_back(part);
		start = end + 1;
	}
	if (parts.empty())
		return "/";
	std::string result;
	for (const std::string& part : parts)
		result += "/" + part;
	return result;
}


// Drops trailing slashes, keeping a lone "/".
void
trim_trailing_slashes(std::string& path)
{
	while (path.size() > 1 && path.back() == '/')
		path.pop_back();
}

}	// namespace


BPath::BPath()
	:
	fStatus(B_NO_INIT)
{
}


BPath::BPath(const char* path, const char* leaf, bool normalize)
	:
	fStatus(B_NO_INIT)
{
	SetTo(path, leaf, normalize);
}


BPath::BPath(const entry_ref* ref)
	:
	fStatus(B_NO_INIT)
{
	SetTo(ref);
}


BPath::~BPath()
{
}


status_t
BPath::InitCheck() const
{
	return fStatus;
}


status_t
BPath::SetTo(const char* path, const char* leaf, bool normalize)
{
	Unset();
	if (path == nullptr || path[0] == '\0')
		return fStatus = B_BAD_VALUE;

	std::string full = path;
	if (full[0] != '/') {
		char cwd[B_PATH_NAME_LENGTH];
		if (getcwd(cwd, sizeof(cwd)) == nullptr)
			return fStatus = BPrivate::errno_status(errno);
		full = std::string(cwd) + "/" + full;
	}
	trim_trailing_slashes(full);
	if (normalize)
		full = normalized(full);
	if (full.size() >= B_PATH_NAME_LENGTH)
		return fStatus = B_NAME_TOO_LONG;

	fPath = full;
	fStatus = B_OK;
	if (leaf != nullptr) {
		status_t status = Append(leaf, normalize);
		if (status != B_OK) {
			Unset();
			return fStatus = status;
		}
	}
	return B_OK;
}


status_t
BPath::SetTo(const entry_ref* ref)
{
	Unset();
	if (ref == nullptr || ref->name == nullptr || ref->name[0] == '\0'
		|| ref->fDirectoryPath.empty()) {
		return fStatus = B_BAD_VALUE;
	}
	return SetTo(ref->fDirectoryPath.c_str(), ref->name);
}


void
BPath::Unset()
{
	fPath.clear();
	fStatus = B_NO_INIT;
}


status_t
BPath::Append(const char* path, bool normalize)
{
	if (fStatus != B_OK)
		return fStatus;
	if (path == nullptr || path[0] == '/')
		return B_BAD_VALUE;
	if (path[0] == '\0')
		return B_OK;

	std::string full = fPath;
	if (full != "/")
		full += "/";
	full += path;
	trim_trailing_slashes(full);
	if (normalize)
		full = normalized(full);
	if (full.size() >= B_PATH_NAME_LENGTH)
		return B_NAME_TOO_LONG;
	fPath = full;
	return B_OK;
}


const char*
BPath::Path() const
{
	return fStatus == B_OK ? fPath.c_str() : nullptr;
}


const char*
BPath::Leaf() const
{
	if (fStatus != B_OK)
		return nullptr;
	return fPath.c_str() + fPath.rfind('/') + 1;
}


status_t
BPath::GetParent(BPath* parent) const
{
	if (parent == nullptr)
		return B_BAD_VALUE;
	if (fStatus != B_OK)
		return fStatus;
	if (fPath == "/")
		return B_ENTRY_NOT_FOUND;
	size_t slash = fPath.rfind('/');
	return parent->SetTo(slash == 0 ? "/" : fPath.substr(0, slash).c_str());
}


bool
BPath::operator==(const BPath& other) const
{
	if (fStatus != B_OK || other.fStatus != B_OK)
		return fStatus == other.fStatus;
	return fPath == other.fPath;
}
