#include "RDXApplication.h"

#include <AnswerDirectory.h>

#include <cstdio>

int
main()
{
	printf("-RDX begin-\n");
	// Made before the first board request, the one at start-up; removed
	// with the answers in it once the last close on quit has ended.
	AnswerDirectory::Path();
	RDXApplication* app = new RDXApplication();
	app->Run();
	printf("\n-RDX end-\n");
	delete app;
	AnswerDirectory::Remove();
	return 0;
}
