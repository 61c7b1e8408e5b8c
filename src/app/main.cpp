#include "RDXApplication.h"

#include <cstdio>

int
main()
{
	printf("-RDX begin-\n");
	RDXApplication* app = new RDXApplication();
	app->Run();
	printf("\n-RDX end-\n");
	delete app;
	return 0;
}
