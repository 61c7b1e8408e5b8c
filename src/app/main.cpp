#include "RDXApplication.h"

#include <AccessLog.h>

#include <cstdio>

int
main()
{
	printf("-RDX begin-\n");
	// Never deleted: a relay worker may still report while the process
	// ends.
	AccessLog* log = new AccessLog("rdx");
	AccessLog::SetDefault(log);
	log->Start();
	RDXApplication* app = new RDXApplication();
	app->Run();
	printf("\n-RDX end-\n");
	delete app;
	log->Stop();
	log->Flush();
	return 0;
}
