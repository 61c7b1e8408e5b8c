// A keyboard-type reader as the kernel shows it: a virtual keyboard made
// through /dev/uinput, read through libevdev with the exclusive grab.
// Machines without uinput (containers, this CI's kernel) skip it; the FIFO
// tests cover the decoding there.

#include "KeyboardSource.h"

#include <gtest/gtest.h>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <poll.h>
#include <unistd.h>

double test_now();

namespace {

class VirtualKeyboard {
public:
	VirtualKeyboard()
	{
		if (access("/dev/uinput", W_OK) != 0)
			return;
		struct libevdev* device = libevdev_new();
		libevdev_set_name(device, "rdx test reader");
		libevdev_set_id_vendor(device, 0xffff);
		libevdev_set_id_product(device, 0x0035);
		libevdev_enable_event_type(device, EV_KEY);
		for (int code = KEY_ESC; code <= KEY_KPDOT; code++)
			libevdev_enable_event_code(device, EV_KEY, code, nullptr);
		if (libevdev_uinput_create_from_device(device,
				LIBEVDEV_UINPUT_OPEN_MANAGED, &fInput) != 0)
			fInput = nullptr;
		libevdev_free(device);
	}

	~VirtualKeyboard()
	{
		if (fInput != nullptr)
			libevdev_uinput_destroy(fInput);
	}

	bool IsValid() const { return fInput != nullptr; }
	std::string Node() const { return libevdev_uinput_get_devnode(fInput); }

	void Press(int code)
	{
		libevdev_uinput_write_event(fInput, EV_KEY, code, 1);
		libevdev_uinput_write_event(fInput, EV_SYN, SYN_REPORT, 0);
		libevdev_uinput_write_event(fInput, EV_KEY, code, 0);
		libevdev_uinput_write_event(fInput, EV_SYN, SYN_REPORT, 0);
	}

private:
	struct libevdev_uinput* fInput = nullptr;
};


TEST(VirtualKeyboardTest, ReadsTagsAndHoldsTheGrab)
{
	VirtualKeyboard keyboard;
	if (!keyboard.IsValid())
		GTEST_SKIP() << "no /dev/uinput here: no virtual keyboard";

	// udev may take a moment to make the node readable.
	KeyboardSource source(keyboard.Node(), 100);
	std::string problem;
	status_t status = B_ERROR;
	for (double end = test_now() + 10; test_now() < end;) {
		status = source.Open(&problem);
		if (status == B_OK)
			break;
		usleep(20000);
	}
	ASSERT_EQ(B_OK, status) << problem;

	// A second program cannot take it meanwhile.
	KeyboardSource other(keyboard.Node(), 100);
	EXPECT_EQ(B_NOT_ALLOWED, other.Open(&problem));
	EXPECT_NE(std::string::npos, problem.find("another program holds it"))
		<< problem;

	for (int code : {KEY_0, KEY_4, KEY_A, KEY_KP1, KEY_ENTER})
		keyboard.Press(code);
	std::vector<SourceEvent> events;
	for (double end = test_now() + 10; events.empty() && test_now() < end;) {
		struct pollfd entry = {source.FD(), POLLIN, 0};
		if (poll(&entry, 1, 200) > 0)
			ASSERT_EQ(B_OK, source.Read(&events));
	}
	ASSERT_EQ(1u, events.size());
	EXPECT_EQ(SourceEvent::kTag, events[0].kind);
	EXPECT_EQ("04A1", events[0].text);

	// Let go, the other program may take it.
	source.Close();
	EXPECT_EQ(B_OK, other.Open(&problem)) << problem;
}

}	// namespace
