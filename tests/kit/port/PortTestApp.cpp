// An application for the message port tests: it holds the port of the
// signature given as its argument, prints what it receives, and keeps
// count of numbered messages so that a flood test need not print each.
//
//   'SEQ ' conn:int32 n:int32 fill:string  counted, order checked per conn
//   'SEQ?'                                 prints "seq total=T disorder=D"
//   'HOLD' ms:int32                        sleeps, so that the queue fills
//   B_QUIT_REQUESTED                       quits
//   anything else                          "got " and the message dump

#include <Application.h>
#include <Message.h>

#include <cstdio>
#include <map>
#include <unistd.h>

namespace {

class PortTestApp : public BApplication {
public:
	PortTestApp(const char* signature)
		:
		BApplication(signature)
	{
	}

	void ReadyToRun() override
	{
		printf("ready\n");
	}

	void MessageReceived(BMessage* message) override
	{
		switch (message->what) {
			case 'SEQ ':
			{
				int32 connection = -1;
				int32 number = -1;
				message->FindInt32("conn", &connection);
				message->FindInt32("n", &number);
				auto found = fNext.find(connection);
				int32 expected = found == fNext.end() ? 0 : found->second;
				if (number != expected)
					fDisorder++;
				fNext[connection] = number + 1;
				fTotal++;
				break;
			}
			case 'SEQ?':
				printf("seq total=%d disorder=%d\n", (int)fTotal,
					(int)fDisorder);
				break;
			case 'HOLD':
			{
				int32 milliseconds = 0;
				message->FindInt32("ms", &milliseconds);
				printf("holding\n");
				usleep((useconds_t)milliseconds * 1000);
				break;
			}
			default:
				printf("got ");
				message->PrintToStream();
				BApplication::MessageReceived(message);
				break;
		}
	}

private:
	std::map<int32, int32> fNext;
	int32 fTotal = 0;
	int32 fDisorder = 0;
};

}	// namespace


int
main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: port_test_app SIGNATURE\n");
		return 2;
	}
	{
		PortTestApp app(argv[1]);
		app.Run();
		printf("ended\n");
	}
	printf("destroyed\n");
	return 0;
}
