// The door's state and alarms, given the moments instead of waiting for
// them: what the contact, the exit button and rdx say, in order, and the
// events that come of it.

#include <DoorDefs.h>
#include <BrokerContact.h>
#include <DoorMonitor.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The tag relay is 2; the monitor hears rdx's settings at 0 ms unless a
// row says otherwise.
enum Action {
	kClosed, kOpen, kLost,			// the contact
	kExit,							// the exit button
	kTag, kRelayOpen, kRelayClosed,	// rdx's notices about relay 2
	kOtherRelay,					// the start-up pulse of relay 1
	kUseOff, kRdxBack, kRdxGone,	// rdx's settings, rdx going away
	kRdxBackUnreadable,				// rdx's settings, relay 2 marked '?'
	kPulse,
};

struct Step {
	int64			ms;
	Action			action;
};

struct Case {
	const char*		name;
	std::vector<Step> steps;
	// The events in order, separated by blanks.
	const char*		events;
	int				relocks = 0;
	bool			relock = false;
};


class Recorder : public DoorMonitor::Output {
public:
	void DoorEventHappened(const DoorEvent& event) override
	{
		events += (events.empty() ? "" : " ") + event.what;
		// An alarm stands in every event after it, until it clears.
		last = event;
	}

	void RelockWanted(const std::string& input) override
	{
		relocks++;
	}

	std::string		events;
	DoorEvent		last;
	int				relocks = 0;
};


void
Play(DoorMonitor& monitor, const std::vector<Step>& steps)
{
	monitor.RdxSettings(true, 2, "-xxxx---", 0);
	for (const Step& step : steps) {
		bigtime_t now = step.ms * 1000;
		// The monitor is asked whenever it wanted to be, as the loop does.
		while (monitor.NextDeadline() <= now)
			monitor.Pulse(monitor.NextDeadline());
		switch (step.action) {
			case kClosed:
				monitor.Contact("c", DoorState::kClosed, "", now);
				break;
			case kOpen:
				monitor.Contact("c", DoorState::kOpen, "", now);
				break;
			case kLost:
				monitor.Contact("c", DoorState::kUnknown, "unplugged", now);
				break;
			case kExit:
				monitor.ExitPressed("e", "passed-on", now);
				break;
			case kTag:
				monitor.RdxTag(now);
				break;
			case kRelayOpen:
			case kRelayClosed:
				monitor.RdxRelay(2, step.action == kRelayOpen, now);
				break;
			case kOtherRelay:
				monitor.RdxRelay(1, true, now);
				monitor.RdxRelay(1, false, now + 1000);
				break;
			case kUseOff:
				monitor.RdxSettings(false, 2, "-xxxx---", now);
				break;
			case kRdxBack:
				monitor.RdxSettings(true, 2, "-xxxx---", now);
				break;
			case kRdxGone:
				monitor.RdxGone(now);
				break;
			case kRdxBackUnreadable:
				monitor.RdxSettings(true, 2, "-x?xx---", now);
				break;
			case kPulse:
				monitor.Pulse(now);
				break;
		}
	}
}


// Forced grace 2 s, held open 5 s.
TEST(DoorMonitorTest, AlarmsComeAndClearAsTheDoorDoes)
{
	const std::vector<Case> cases = {
		{"opened while locked, nobody let in: forced after the grace",
			{{0, kClosed}, {10000, kOpen}, {11999, kPulse}}, "closed opened"},
		{"the same, at the end of the grace",
			{{0, kClosed}, {10000, kOpen}, {12000, kPulse}},
			"closed opened forced"},
		{"a tag read just after the door opened (the sensor was quicker)",
			{{0, kClosed}, {10000, kOpen}, {11500, kTag}, {20000, kPulse}},
			"closed opened held-open"},
		{"a tag with board use off opens nothing: still forced",
			{{0, kClosed}, {1, kUseOff}, {10000, kOpen}, {11500, kTag},
				{12000, kPulse}}, "closed opened forced"},
		{"a tag read 2 s before the opening covers it",
			{{0, kClosed}, {8000, kTag}, {10000, kOpen}, {12000, kPulse}},
			"closed opened"},
		{"one 2.1 s before does not",
			{{0, kClosed}, {7900, kTag}, {10000, kOpen}, {12000, kPulse}},
			"closed opened forced"},
		{"the exit button covers, whatever rdx made of it",
			{{0, kClosed}, {9000, kExit}, {10000, kOpen}, {12000, kPulse}},
			"closed exit opened"},
		{"pushed a moment after the relay fell back",
			{{0, kClosed}, {8000, kRelayOpen}, {9000, kRelayClosed},
				{10500, kOpen}, {15499, kPulse}}, "closed opened"},
		{"held open: 5 s after the relay closed again",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kRelayClosed}, {15999, kPulse}, {16000, kPulse}},
			"closed opened held-open"},
		{"the relay opening again starts the time anew",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kRelayClosed}, {14000, kRelayOpen},
				{15000, kRelayClosed}, {19999, kPulse}},
			"closed opened"},
		{"both alarms clear when the door closes, and come again",
			{{0, kClosed}, {10000, kOpen}, {16000, kPulse}, {17000, kClosed},
				{30000, kOpen}, {32000, kPulse}},
			"closed opened forced held-open closed opened forced"},
		{"forced and shut again within the grace: forced all the same",
			{{0, kClosed}, {10000, kOpen}, {11000, kClosed}, {12000, kPulse}},
			"closed opened closed forced"},
		{"flapping faster than the grace does not put the check off",
			{{0, kClosed}, {10000, kOpen}, {11000, kClosed}, {11900, kOpen},
				{12500, kClosed}, {13800, kOpen}, {14000, kPulse}},
			"closed opened closed opened forced closed opened"},
		{"shut within the grace and a tag came: not forced",
			{{0, kClosed}, {10000, kOpen}, {10800, kClosed}, {11500, kTag},
				{20000, kPulse}}, "closed opened closed"},
		{"a lost contact is unknown, never closed; it comes back",
			{{0, kClosed}, {1000, kLost}, {2000, kLost}, {3000, kClosed}},
			"closed sensor-lost closed"},
		{"nothing is timed while the contact is lost",
			{{0, kClosed}, {10000, kOpen}, {11000, kLost}, {30000, kPulse}},
			"closed opened sensor-lost"},
		{"an opening seen from unknown is no forced one",
			{{0, kClosed}, {1000, kLost}, {10000, kOpen}, {12000, kPulse}},
			"closed sensor-lost opened"},
		{"opened while rdx does not run: not forced, but timed",
			{{0, kClosed}, {5000, kRdxGone}, {10000, kOpen}, {14999, kPulse},
				{15000, kPulse}}, "closed opened held-open"},
		{"rdx going away with the relay open starts the time",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kRdxGone}, {16000, kPulse}},
			"closed opened held-open"},
		{"a forced check pending when rdx went away is dropped",
			{{0, kClosed}, {10000, kOpen}, {10500, kRdxGone}, {12000, kPulse},
				{12500, kRdxBack}, {13000, kPulse}}, "closed opened"},
		{"rdx going away and back does not start the held time anew",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kRelayClosed}, {13000, kRdxGone}, {14000, kRdxBack},
				{16000, kPulse}}, "closed opened held-open"},
		{"a relay rdx marks neither open nor closed is unknown: not forced",
			{{0, kClosed}, {5000, kRdxBackUnreadable}, {10000, kOpen},
				{12000, kPulse}}, "closed opened"},
		{"rdx restarting (back, its start-up pulse) is no door event",
			{{0, kClosed}, {5000, kRdxGone}, {6000, kRdxBack},
				{6100, kOtherRelay}, {20000, kPulse}}, "closed"},
		{"relock: opened and closed while the relay was open",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kClosed}}, "closed opened closed", 1, true},
		{"relock off: nothing asked",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kClosed}}, "closed opened closed", 0, false},
		{"no relock for a door closed after the relay was",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kRelayClosed}, {12000, kClosed}},
			"closed opened closed", 0, true},
		{"no relock for a door that did not open",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kClosed}},
			"closed", 0, true},
	};
	for (const Case& c : cases) {
		Recorder recorder;
		DoorMonitor::Settings settings;
		settings.forcedGrace = 2000 * 1000;
		settings.heldOpen = 5000 * 1000;
		settings.relock = c.relock;
		DoorMonitor monitor(settings, recorder);
		Play(monitor, c.steps);
		EXPECT_EQ(c.events, recorder.events) << c.name;
		EXPECT_EQ(c.relocks, recorder.relocks) << c.name;
	}
}


TEST(DoorMonitorTest, EventsCarryTheStateAndTheAlarmsThatStand)
{
	Recorder recorder;
	DoorMonitor::Settings settings;
	settings.forcedGrace = 1000 * 1000;
	settings.heldOpen = 2000 * 1000;
	DoorMonitor monitor(settings, recorder);
	// Before rdx was heard of: the relay is unknown.
	EXPECT_EQ(RDX_DOOR_UNKNOWN, monitor.Snapshot().relay);
	Play(monitor, {{0, kClosed}, {1000, kOpen}, {2000, kPulse},
		{3000, kPulse}});
	EXPECT_EQ("closed opened forced held-open", recorder.events);
	EXPECT_EQ(DoorState::kOpen, recorder.last.state);
	EXPECT_EQ("held-open,forced",
		DoorMonitor::AlarmNames(recorder.last.alarms));
	EXPECT_EQ(RDX_DOOR_CLOSED, recorder.last.relay);
	EXPECT_EQ(B_INFINITE_TIMEOUT, monitor.NextDeadline());

	monitor.Contact("c", DoorState::kUnknown, "silent for 2h", 4000000);
	EXPECT_EQ(DoorState::kUnknown, recorder.last.state);
	EXPECT_EQ("silent for 2h", recorder.last.reason);
	// Not seen closed: what stood still stands.
	EXPECT_EQ("held-open,forced,sensor-lost",
		DoorMonitor::AlarmNames(recorder.last.alarms));
	monitor.Contact("c", DoorState::kClosed, "", 5000000);
	EXPECT_EQ(0u, recorder.last.alarms);
	DoorEvent snapshot = monitor.Snapshot();
	EXPECT_EQ(RDX_DOOR_SNAPSHOT, snapshot.what);
	EXPECT_EQ(DoorState::kClosed, snapshot.state);
	// A closed door waits for nothing.
	EXPECT_EQ(B_INFINITE_TIMEOUT, monitor.NextDeadline());
}


// The loop sleeps until NextDeadline(): an alarm is on time only when the
// monitor asks to be woken at its moment, and a closed door asks for none.
// Forced grace 2 s, held open 5 s.
TEST(DoorMonitorTest, AsksToBeWokenExactlyWhenSomethingIsDue)
{
	struct Row {
		const char*			name;
		std::vector<Step>	steps;
		int64				wakeMs;
	};
	const int64 kNever = -1;
	const std::vector<Row> rows = {
		{"closed: never", {{0, kClosed}}, kNever},
		{"opened while locked: at the end of the grace",
			{{0, kClosed}, {10000, kOpen}}, 12000},
		{"then the held time, counted from the opening",
			{{0, kClosed}, {10000, kOpen}, {12000, kPulse}}, 15000},
		{"held open after the relay closed again",
			{{0, kClosed}, {10000, kRelayOpen}, {10500, kOpen},
				{11000, kRelayClosed}}, 16000},
		{"open while the relay holds it: never", {{0, kClosed},
			{10000, kRelayOpen}, {10500, kOpen}}, kNever},
		{"both alarms raised: never again until it closes",
			{{0, kClosed}, {10000, kOpen}, {15000, kPulse}}, kNever},
		{"the contact lost: never", {{0, kClosed}, {10000, kOpen},
			{11000, kLost}}, kNever},
	};
	for (const Row& row : rows) {
		Recorder recorder;
		DoorMonitor::Settings settings;
		settings.forcedGrace = 2000 * 1000;
		settings.heldOpen = 5000 * 1000;
		DoorMonitor monitor(settings, recorder);
		Play(monitor, row.steps);
		EXPECT_EQ(row.wakeMs == kNever ? B_INFINITE_TIMEOUT
			: row.wakeMs * 1000, monitor.NextDeadline()) << row.name;
	}
}


// A sensor on the broker is lost once it has said nothing for its report
// interval, and again after every later silence.
TEST(BrokerContactTest, SilentOnceItsIntervalPassesWithoutAReport)
{
	struct Row {
		const char*			name;
		// Reports (r) and looks (l) at these seconds, from 0.
		std::vector<std::pair<char, int>> steps;
		// What the looks found: 1 silent just now, 0 not.
		std::vector<int>	silent;
	};
	const std::vector<Row> rows = {
		{"never reports: lost after the interval from the start",
			{{'l', 9}, {'l', 10}, {'l', 30}}, {0, 1, 0}},
		{"each report starts the interval anew",
			{{'r', 5}, {'l', 14}, {'r', 14}, {'l', 23}, {'l', 24}},
			{0, 0, 1}},
		{"back after a silence, and silent again",
			{{'l', 10}, {'r', 12}, {'l', 21}, {'l', 22}}, {1, 0, 1}},
	};
	for (const Row& row : rows) {
		BrokerContact contact(0, 10 * 1000000LL, 0);
		std::vector<int> silent;
		for (const auto& [what, second] : row.steps) {
			bigtime_t now = second * 1000000LL;
			if (what == 'r') {
				contact.Report(now);
				continue;
			}
			silent.push_back(contact.Pulse(now) ? 1 : 0);
		}
		EXPECT_EQ(row.silent, silent) << row.name;
	}
}

}	// namespace
