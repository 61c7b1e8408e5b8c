#include "DirectWget.h"

#include <cstdlib>
#include <unistd.h>


DirectWget::DirectWget(const std::string& board)
{
	char directory[] = "/tmp/rdx-bench-XXXXXX";
	if (mkdtemp(directory) == nullptr)
		return;
	fDirectory = directory;
	fCommand = "wget -q --output-document=" + fDirectory + "/rdx3.tmp"
		" --delete-after --timeout=2 --tries=1 'http://" + board + "/?3=0'";
}


DirectWget::~DirectWget()
{
	if (fDirectory.empty())
		return;
	unlink((fDirectory + "/rdx3.tmp").c_str());
	rmdir(fDirectory.c_str());
}
