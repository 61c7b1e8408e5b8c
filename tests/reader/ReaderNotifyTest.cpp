// A card the list does not know, told on the desk: rdx-reader reads it
// twice from a FIFO of input events within the repeat time, the stand-in
// notification service on the test's own session bus records one Notify,
// says that "Add…" was chosen, and rdx-tags (started by the reader, under
// the test's Xvfb) opens its dialog with the tag filled in. A second
// rdx-tags hands its request to that one. A list saved in Latin-1 still
// names its card on the desk; one notification per card and reader.

#include "CardAnnouncer.h"
#include "DoorTestSupport.h"
#include "ReaderTestSupport.h"
#include "XTools.h"

#include <OS.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace {

const char* const kCard = "0055AA7711";
// The name field of the tag dialog (TagDialog.cpp).
const int kNameX = 300;
const int kNameY = 54;


TEST(ReaderNotifyTest, AnUnknownCardIsToldOnceAndAddedFromTheDesk)
{
	const char* display = getenv("DISPLAY");
	ASSERT_NE(nullptr, display);
	TempDir home("rdx-reader-notify");
	NotificationDesk desk("add");
	ASSERT_TRUE(desk.Start());
	for (const char* directory : {"config", "config/RDX", "state", "run"})
		ASSERT_EQ(0, mkdir(home.Sub(directory).c_str(), 0700));
	std::string list = home.Sub("config/RDX/tags");
	std::ofstream(list) << "0014594826 fob\n";
	ASSERT_EQ(0, chmod(list.c_str(), 0600));
	std::map<std::string, std::string> environment = {
		{"HOME", home.Path()}, {"XDG_CONFIG_HOME", home.Sub("config")},
		{"XDG_STATE_HOME", home.Sub("state")},
		{"XDG_RUNTIME_DIR", home.Sub("run")},
		{"DBUS_SESSION_BUS_ADDRESS", desk.Address()}, {"DISPLAY", display},
		// Not a unit of a service manager: rdx-tags is started directly.
		{"INVOCATION_ID", ""}};

	EventFifo keyboard;
	ReaderProcess reader({"--keyboard", keyboard.Path(), "--repeat-ms",
		"5000"}, environment);
	ASSERT_TRUE(reader.WaitFor(": reading\n")) << reader.Output();
	ASSERT_TRUE(keyboard.Write(KeyScript().Type(std::string(kCard) + "\n")
		.Wait(200).Type(std::string(kCard) + "\n")));
	ASSERT_TRUE(reader.WaitFor(std::string(kCard) + ": repeat\n"))
		<< reader.Output();

	// "Add…" chosen on the desk: rdx-tags starts and asks for a name.
	ASSERT_TRUE(reader.WaitFor(std::string(kCard) + ": rdx-tags opens its"
		" dialog to add it\n")) << reader.Output();
	XTools tools(display);
	unsigned long dialog = tools.FindWindow("Add tag", 20);
	ASSERT_TRUE(dialog != 0 && tools.WaitUntilViewable(dialog, 20));
	ASSERT_TRUE(tools.Click(dialog, kNameX, kNameY));
	ASSERT_TRUE(tools.Type(dialog, "Carla Berg"));
	ASSERT_TRUE(tools.Key(dialog, "Return"));
	EXPECT_TRUE(wait_for([&] {
		return read_file(list) == "0014594826 fob\n" + std::string(kCard)
			+ " Carla Berg\n";
	}, 20)) << read_file(list);

	std::vector<std::string> calls = desk.Calls();
	ASSERT_EQ(1u, calls.size());
	nlohmann::json call = nlohmann::json::parse(calls[0]);
	EXPECT_EQ("RDX reader", call["app"]);
	EXPECT_EQ(std::string("Unknown card ") + kCard, call["summary"]);
	std::string body = call["body"];
	EXPECT_EQ(0u, body.find("Read at " + keyboard.Path() + " at ")) << body;
	EXPECT_NE(std::string::npos, body.find(": unknown. The door stayed"
		" shut.")) << body;
	EXPECT_EQ((std::vector<std::string>{"add", "Add…"}), call["actions"]);
	EXPECT_EQ(1, call["urgency"]);

	// One rdx-tags per user: a second one hands its tag to the first.
	ChildProcess::Options options;
	for (const auto& [name, value] : environment)
		options.environment[name] = value;
	ChildProcess second({std::string(RDX_BINARY_DIR)
		+ "/tools/rdx-tags/rdx-tags", "--add", "-77"}, options);
	int status = -1;
	ASSERT_TRUE(second.Wait(20, &status));
	EXPECT_EQ(0, status) << second.Errors();
	EXPECT_NE(std::string::npos, second.Output().find("handed to the"
		" rdx-tags that runs"));
	dialog = tools.FindWindow("Add tag", 20);
	ASSERT_TRUE(dialog != 0 && tools.WaitUntilViewable(dialog, 20));
	ASSERT_TRUE(tools.Key(dialog, "Escape"));

	unsigned long window = tools.FindWindow("RDX Tags", 20);
	ASSERT_NE(0UL, window);
	ASSERT_TRUE(tools.Close(window));
	EXPECT_TRUE(wait_for([&] { return !tools.WindowExists(window); }, 20));
	EXPECT_EQ(0, reader.Terminate());
}

}	// namespace


namespace {

TEST(ReaderNotifyTest, ACardOfAListInLatin1IsToldByItsNumber)
{
	// A list saved by an editor in Latin-1: the card's line works, and the
	// desk (which takes UTF-8 alone) is told the card, not "[Invalid
	// UTF-8]", with nothing for the journal from GLib.
	TempDir home("rdx-reader-notify-latin1");
	NotificationDesk desk;
	ASSERT_TRUE(desk.Start());
	for (const char* directory : {"config", "config/RDX", "state", "run"})
		ASSERT_EQ(0, mkdir(home.Sub(directory).c_str(), 0700));
	std::string list = home.Sub("config/RDX/tags");
	std::ofstream(list) << "0014594826 J\xFCrgen M\xFCller | off\n";
	ASSERT_EQ(0, chmod(list.c_str(), 0600));
	EventFifo keyboard;
	ReaderProcess reader({"--keyboard", keyboard.Path()}, {
		{"HOME", home.Path()}, {"XDG_CONFIG_HOME", home.Sub("config")},
		{"XDG_STATE_HOME", home.Sub("state")},
		{"XDG_RUNTIME_DIR", home.Sub("run")},
		{"DBUS_SESSION_BUS_ADDRESS", desk.Address()}, {"INVOCATION_ID", ""}});
	ASSERT_TRUE(reader.WaitFor(": reading\n")) << reader.Output();
	ASSERT_TRUE(keyboard.Write(KeyScript().Type("0014594826\n")));
	ASSERT_TRUE(reader.WaitFor(": off (line 1)\n")) << reader.Output();
	ASSERT_TRUE(desk.WaitForCalls(1));
	nlohmann::json call = nlohmann::json::parse(desk.Calls()[0]);
	EXPECT_EQ("Card 0014594826 (J?rgen M?ller) is switched off",
		call["summary"]);
	EXPECT_EQ(0, reader.Terminate());
	EXPECT_EQ(std::string::npos, reader.Process().Errors().find("CRITICAL"))
		<< reader.Process().Errors();
}

}	// namespace


namespace {

TEST(ReaderNotifyTest, OnTheDeskOneNotificationPerCardAndReader)
{
	// The same card at two readers is two notifications; read again at
	// the first after the quiet time, it replaces that reader's one.
	NotificationDesk desk;
	ASSERT_TRUE(desk.Start());
	setenv("DBUS_SESSION_BUS_ADDRESS", desk.Address().c_str(), 1);
	const bigtime_t second = 1000000;
	struct Row {
		const char*	reader;
		bigtime_t	at;
		// The earlier call (by its index) that it replaces, or -1.
		int			replaces;
	} rows[] = {
		{"front", 10 * second, -1},
		{"back", 10 * second, -1},
		{"front", 12 * second, 0},
		{"back", 13 * second, 1},
	};
	CardAnnouncer announcer(second, stderr);
	size_t count = 0;
	for (const Row& row : rows) {
		ASSERT_TRUE(announcer.Read(row.reader, "0055AA7711", "",
			Dispatcher::kUnknown, row.at));
		// The service's answer (its id) comes back before the next one.
		ASSERT_TRUE(desk.WaitForCalls(++count));
		snooze(300000);
	}
	std::vector<std::string> calls = desk.Calls();
	ASSERT_EQ(std::size(rows), calls.size());
	for (size_t i = 0; i < calls.size(); i++) {
		nlohmann::json call = nlohmann::json::parse(calls[i]);
		uint32 replaced = rows[i].replaces < 0 ? 0
			: nlohmann::json::parse(calls[rows[i].replaces])["id"]
				.get<uint32>();
		EXPECT_EQ(replaced, call["replaces"].get<uint32>()) << calls[i];
	}
}

}	// namespace
