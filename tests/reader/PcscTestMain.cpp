// The main of the PC/SC tests: before anything else (unsharing needs a
// single thread), the process takes mount and network namespaces of its
// own, so that pcscd's /run/pcscd and vpcd's ports are this test's alone,
// with loopback up; then an X server of its own for the tests with rdx.

#include "PcscHarness.h"
#include "Xvfb.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string
take_namespaces()
{
	if (geteuid() != 0)
		return "not root: pcscd cannot be started in namespaces of the test's"
			" own";
	if (access("/usr/sbin/pcscd", X_OK) != 0)
		return "pcscd is not installed (package pcscd)";
	if (access("/etc/reader.conf.d/vpcd", R_OK) != 0)
		return "the vpcd driver is not installed (package vsmartcard-vpcd)";
	if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0)
		return std::string("unshare: ") + strerror(errno);
	// Mounts made here stay here.
	if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
		return std::string("making / private: ") + strerror(errno);
	if (mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755")
			!= 0)
		return std::string("a tmpfs on /run: ") + strerror(errno);
	if (mkdir("/run/pcscd", 0755) != 0)
		return std::string("/run/pcscd: ") + strerror(errno);

	int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	struct ifreq request = {};
	strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
	bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
	request.ifr_flags |= IFF_UP;
	up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
	if (fd >= 0)
		close(fd);
	if (!up)
		return std::string("loopback up: ") + strerror(errno);
	return "";
}


class XEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		fServer = std::make_unique<Xvfb>();
		ASSERT_TRUE(fServer->Running()) << fServer->Error();
		setenv("DISPLAY", fServer->Display().c_str(), 1);
	}

	void TearDown() override
	{
		fServer.reset();
	}

private:
	std::unique_ptr<Xvfb> fServer;
};

}	// namespace


int
main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	// Listing the tests (ctest's discovery) needs none of it.
	if (!::testing::GTEST_FLAG(list_tests)) {
		gPcscUnavailable = take_namespaces();
		::testing::AddGlobalTestEnvironment(new XEnvironment);
	}
	return RUN_ALL_TESTS();
}
