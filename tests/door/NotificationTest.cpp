// BNotification against a session bus of the test's own: nothing and no
// line without a bus or without a service; the service's record of what
// it was asked to show; a chosen action back at its target.

#include "DoorTestSupport.h"

#include <Looper.h>
#include <Message.h>
#include <Notification.h>
#include <OS.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <unistd.h>

namespace {

// Hears which action was chosen.
class ActionListener : public BLooper {
public:
	ActionListener() : BLooper("action listener") {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != B_NOTIFICATION_ACTION_INVOKED)
			return BLooper::MessageReceived(message);
		const char* action = "";
		const char* id = "";
		message->FindString(B_NOTIFICATION_ACTION, &action);
		message->FindString(B_NOTIFICATION_MESSAGE_ID, &id);
		// The second notification offers the action too.
		if (heard++ == 0)
			chosen.set_value(std::string(action) + " of " + id);
	}

	std::promise<std::string> chosen;
	int heard = 0;
};


// Standard error while the body runs, as the program's user would see it.
template<typename Body>
std::string
errors_during(Body body)
{
	fflush(stderr);
	TempDir directory("rdx-notification-stderr");
	int saved = dup(2);
	int file = open(directory.Sub("err").c_str(), O_WRONLY | O_CREAT, 0600);
	dup2(file, 2);
	close(file);
	body();
	fflush(stderr);
	dup2(saved, 2);
	close(saved);
	return read_file(directory.Sub("err"));
}


void
send(const char* title, const char* messageID, const BMessenger& target = {})
{
	BNotification notification(B_IMPORTANT_NOTIFICATION);
	notification.SetGroup("RDX door");
	notification.SetTitle(title);
	notification.SetContent("The door front was opened while locked.");
	notification.SetMessageID(messageID);
	ASSERT_EQ(B_OK, notification.AddAction("add", "Add…"));
	notification.SetActionTarget(target);
	ASSERT_EQ(B_OK, notification.Send());
}


// One test: the process has one connection to the session bus, made when
// the first notification is sent, so the order of the steps matters.
TEST(NotificationTest, ShownWhereADeskIsAndQuietWhereNone)
{
	EXPECT_EQ(B_BAD_VALUE, BNotification(B_INFORMATION_NOTIFICATION).Send());

	// No session bus at all: nothing, and no line.
	unsetenv("DBUS_SESSION_BUS_ADDRESS");
	unsetenv("XDG_RUNTIME_DIR");
	EXPECT_EQ("", errors_during([] {
		send("nobody sees this", "a");
		usleep(300 * 1000);
	}));

	// A desk on a bus whose socket is another user's (tests run as root
	// here: nobody's): it is shown nothing, and one line says why.
	NotificationDesk foreign;
	ASSERT_TRUE(foreign.Start());
	std::string socket = foreign.Address().substr(strlen("unix:path="));
	socket = socket.substr(0, socket.find(','));
	ASSERT_EQ(0, chown(socket.c_str(), 65534, 65534));
	setenv("DBUS_SESSION_BUS_ADDRESS", foreign.Address().c_str(), 1);
	std::string errors = errors_during([] {
		send("another user's desk sees nothing", "f");
		send("nor this", "f");
		usleep(500 * 1000);
	});
	EXPECT_EQ(1, count_of(errors, "the session bus " + socket
		+ " belongs to another user (uid 65534)")) << errors;
	EXPECT_TRUE(foreign.Calls().empty());

	// A bus, but nobody shows notifications on it.
	NotificationDesk desk("add");
	ASSERT_FALSE(desk.Address().empty());
	setenv("DBUS_SESSION_BUS_ADDRESS", desk.Address().c_str(), 1);
	EXPECT_EQ("", errors_during([] {
		send("nobody sees this either", "b");
		usleep(300 * 1000);
	}));

	ASSERT_TRUE(desk.Start());
	ActionListener* listener = new ActionListener;
	std::future<std::string> chosen = listener->chosen.get_future();
	listener->Run();
	send("front: forced open", "rdx-door-front-forced", BMessenger(listener));
	ASSERT_TRUE(desk.WaitForCalls(1));
	// The service says the person chose "add": the target hears it.
	ASSERT_EQ(std::future_status::ready,
		chosen.wait_for(std::chrono::seconds(10)));
	EXPECT_EQ("add of rdx-door-front-forced", chosen.get());

	// The same message id replaces what the desk shows.
	send("front: forced open again", "rdx-door-front-forced");
	ASSERT_TRUE(desk.WaitForCalls(2));
	std::vector<std::string> calls = desk.Calls();
	ASSERT_EQ(2u, calls.size());
	nlohmann::json first = nlohmann::json::parse(calls[0]);
	nlohmann::json second = nlohmann::json::parse(calls[1]);
	EXPECT_EQ("RDX door", first["app"]);
	EXPECT_EQ("front: forced open", first["summary"]);
	EXPECT_EQ("The door front was opened while locked.", first["body"]);
	EXPECT_EQ((std::vector<std::string>{"add", "Add…"}), first["actions"]);
	// Critical: it stays until someone has seen it.
	EXPECT_EQ(2, first["urgency"]);
	EXPECT_EQ(-1, first["timeout"]);
	EXPECT_EQ(0, first["replaces"]);
	EXPECT_EQ(first["id"], second["replaces"]);

	// Gone before the process ends, which takes the loopers' list with it.
	thread_id thread = listener->Thread();
	listener->Quit();
	wait_for_thread(thread, nullptr);
}

}	// namespace
