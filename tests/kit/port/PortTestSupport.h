#ifndef PORT_TEST_SUPPORT_H
#define PORT_TEST_SUPPORT_H

#include <Looper.h>
#include <Message.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Standard error of this process goes to a file while the object lives, so
// that a test can read the lines the port prints.
class StderrCapture {
public:
							StderrCapture();
							~StderrCapture();
			std::string		Text() const;
			// Waits until the captured text holds the needle.
			bool			WaitFor(const std::string& needle,
								double seconds) const;
private:
			std::string		fPath;
			int				fSaved = -1;
};

// What a Collector received; outlives the looper.
struct Received {
			std::mutex		lock;
			std::condition_variable changed;
			std::vector<BMessage> messages;
			bool			gateOpen = true;
			// Messages the handler has begun, also those held at the gate.
			size_t			entered = 0;

			bool			WaitForEntered(size_t count, double seconds);

			size_t			Count();
			bool			WaitForCount(size_t count, double seconds);
			void			SetGate(bool open);
			BMessage		At(size_t index);
};

// A looper that keeps a copy of every message it is sent. While the gate
// is shut its handler waits, so that its queue fills up.
class Collector : public BLooper {
public:
							Collector(std::shared_ptr<Received> received,
								int32 capacity = 200);
	virtual	void			MessageReceived(BMessage* message);

	// Starts a collector on its own thread.
	static	Collector*		Start(std::shared_ptr<Received> received,
								int32 capacity = 200);
	// Quits it and waits until its thread has ended.
	static	void			Stop(Collector* collector,
								std::shared_ptr<Received> received);
private:
			std::shared_ptr<Received> fReceived;
};

// A client that speaks the wire protocol byte by byte, for frames that a
// well-behaved sender never makes.
class RawConnection {
public:
							RawConnection(const std::string& path);
							~RawConnection();
			bool			IsConnected() const { return fFD >= 0; }
			int				FD() const { return fFD; }
			// Writes what it can; a port that closed the connection is not
			// an error here.
			void			Write(const std::string& bytes);
			// The status byte, -1 when the connection ended, -2 on time-out.
			int				ReadStatus(double seconds);
			// Whether the port closes the connection within the time.
			bool			WaitClosed(double seconds);
private:
			int				fFD = -1;
};

// Ends the test process with a message when a concurrency test hangs, so
// that a deadlock shows as a failure with a reason instead of a time-out.
class Watchdog {
public:
							Watchdog(double seconds, const char* what);
							~Watchdog();
private:
			std::mutex		fLock;
			std::condition_variable fDone;
			bool			fFinished = false;
			std::thread		fThread;
};

std::string frame_for(const BMessage& message);
std::string frame_header(uint32 length, uint8 version = 1);

// A message with a string field padded so that its flattened form has
// exactly the given size.
BMessage message_of_flat_size(size_t size);

// Lines in a text that contain the needle.
int lines_with(const std::string& text, const std::string& needle);

#endif
