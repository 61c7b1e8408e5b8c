#include "GpioSource.h"

#include <EventDevice.h>

#include <Locale.h>

#include <gpiod.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The name other programs see the line taken by (gpioinfo shows it).
const char* const kConsumer = "rdx-door";

}	// namespace


GpioSource::GpioSource(size_t input, const DoorInput& line)
	:
	InputSource(line.chipPath),
	fLine(line)
{
#ifdef RDX_GPIOD_V2
	// The kernel debounces the line itself.
	_AddLine(input, 0);
#else
	_AddLine(input, line.debounce);
#endif
}


GpioSource::~GpioSource()
{
	Close();
}


#ifdef RDX_GPIOD_V2

status_t
GpioSource::Open(std::vector<InputChange>* changes, std::string* problem)
{
	Close();
	fChip = gpiod_chip_open(fLine.chipPath.c_str());
	if (fChip == nullptr)
		return EventDevice::OpenError(errno, problem);

	struct gpiod_line_settings* settings = gpiod_line_settings_new();
	struct gpiod_line_config* lineConfig = gpiod_line_config_new();
	struct gpiod_request_config* requestConfig = gpiod_request_config_new();
	fEvents = gpiod_edge_event_buffer_new(16);
	int error = ENOMEM;
	if (settings != nullptr && lineConfig != nullptr
		&& requestConfig != nullptr && fEvents != nullptr) {
		gpiod_line_settings_set_direction(settings,
			GPIOD_LINE_DIRECTION_INPUT);
		gpiod_line_settings_set_edge_detection(settings, GPIOD_LINE_EDGE_BOTH);
		gpiod_line_settings_set_active_low(settings, fLine.activeLow);
		enum gpiod_line_bias bias = GPIOD_LINE_BIAS_AS_IS;
		switch (fLine.bias) {
			case DoorInput::kPullUp:
				bias = GPIOD_LINE_BIAS_PULL_UP;
				break;
			case DoorInput::kPullDown:
				bias = GPIOD_LINE_BIAS_PULL_DOWN;
				break;
			case DoorInput::kBiasDisabled:
				bias = GPIOD_LINE_BIAS_DISABLED;
				break;
			case DoorInput::kBiasAsIs:
				break;
		}
		gpiod_line_settings_set_bias(settings, bias);
		gpiod_line_settings_set_debounce_period_us(settings,
			(unsigned long)fLine.debounce);
		unsigned int offset = (unsigned int)fLine.line;
		gpiod_request_config_set_consumer(requestConfig, kConsumer);
		if (gpiod_line_config_add_line_settings(lineConfig, &offset, 1,
				settings) == 0) {
			fRequest = gpiod_chip_request_lines(fChip, requestConfig,
				lineConfig);
		}
		error = errno;
	}
	if (settings != nullptr)
		gpiod_line_settings_free(settings);
	if (lineConfig != nullptr)
		gpiod_line_config_free(lineConfig);
	if (requestConfig != nullptr)
		gpiod_request_config_free(requestConfig);
	if (fRequest == nullptr) {
		status_t status = EventDevice::OpenError(error, problem);
		Close();
		return status == B_ENTRY_NOT_FOUND ? B_BAD_VALUE : status;
	}
	fFD = gpiod_line_request_get_fd(fRequest);
	fcntl(fFD, F_SETFL, fcntl(fFD, F_GETFL) | O_NONBLOCK);
	int value = _Value();
	if (value < 0) {
		status_t status = EventDevice::OpenError(errno, problem);
		Close();
		return status;
	}
	_Known(0, value, changes);
	return B_OK;
}


void
GpioSource::Close()
{
	if (fRequest != nullptr) {
		gpiod_line_request_release(fRequest);
		fRequest = nullptr;
	}
	if (fEvents != nullptr) {
		gpiod_edge_event_buffer_free(fEvents);
		fEvents = nullptr;
	}
	if (fChip != nullptr) {
		gpiod_chip_close(fChip);
		fChip = nullptr;
	}
	fFD = -1;
}


int
GpioSource::_Value()
{
	enum gpiod_line_value value = gpiod_line_request_get_value(fRequest,
		(unsigned int)fLine.line);
	if (value == GPIOD_LINE_VALUE_ERROR)
		return -1;
	return value == GPIOD_LINE_VALUE_ACTIVE ? 1 : 0;
}


status_t
GpioSource::Read(std::vector<InputChange>* changes, bigtime_t now)
{
	if (fRequest == nullptr)
		return B_ENTRY_NOT_FOUND;
	int count = gpiod_line_request_read_edge_events(fRequest, fEvents, 16);
	if (count < 0 && errno != EAGAIN && errno != EINTR) {
		Close();
		_Lost(B_TRANSLATE("the GPIO chip went away"), changes);
		return B_ENTRY_NOT_FOUND;
	}
	int value = _Value();
	if (value < 0) {
		Close();
		_Lost(B_TRANSLATE("the GPIO chip went away"), changes);
		return B_ENTRY_NOT_FOUND;
	}
	_Level(0, value, now, changes);
	return B_OK;
}

#else	// libgpiod v1

status_t
GpioSource::Open(std::vector<InputChange>* changes, std::string* problem)
{
	Close();
	fChip = gpiod_chip_open(fLine.chipPath.c_str());
	if (fChip == nullptr)
		return EventDevice::OpenError(errno, problem);
	struct gpiod_line* line = gpiod_chip_get_line(fChip,
		(unsigned int)fLine.line);
	if (line == nullptr) {
		*problem = translate_format("the chip has no line %d", fLine.line);
		Close();
		return B_BAD_VALUE;
	}
	int flags = fLine.activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
	switch (fLine.bias) {
		case DoorInput::kPullUp:
			flags |= GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_UP;
			break;
		case DoorInput::kPullDown:
			flags |= GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_DOWN;
			break;
		case DoorInput::kBiasDisabled:
			flags |= GPIOD_LINE_REQUEST_FLAG_BIAS_DISABLE;
			break;
		case DoorInput::kBiasAsIs:
			break;
	}
	if (gpiod_line_request_both_edges_events_flags(line, kConsumer, flags)
			!= 0) {
		status_t status = EventDevice::OpenError(errno, problem);
		Close();
		return status == B_ENTRY_NOT_FOUND ? B_BAD_VALUE : status;
	}
	fRequested = line;
	fFD = gpiod_line_event_get_fd(line);
	fcntl(fFD, F_SETFL, fcntl(fFD, F_GETFL) | O_NONBLOCK);
	int value = _Value();
	if (value < 0) {
		status_t status = EventDevice::OpenError(errno, problem);
		Close();
		return status;
	}
	_Known(0, value, changes);
	return B_OK;
}


void
GpioSource::Close()
{
	if (fRequested != nullptr) {
		gpiod_line_release(fRequested);
		fRequested = nullptr;
	}
	if (fChip != nullptr) {
		gpiod_chip_close(fChip);
		fChip = nullptr;
	}
	fFD = -1;
}


int
GpioSource::_Value()
{
	int value = gpiod_line_get_value(fRequested);
	if (value < 0)
		return -1;
	return value != 0 ? 1 : 0;
}


status_t
GpioSource::Read(std::vector<InputChange>* changes, bigtime_t now)
{
	if (fRequested == nullptr)
		return B_ENTRY_NOT_FOUND;
	// The edges only say that something happened; the level says what.
	struct gpiod_line_event events[16];
	int count = gpiod_line_event_read_multiple(fRequested, events, 16);
	if (count < 0 && errno != EAGAIN && errno != EINTR) {
		Close();
		_Lost(B_TRANSLATE("the GPIO chip went away"), changes);
		return B_ENTRY_NOT_FOUND;
	}
	int value = _Value();
	if (value < 0) {
		Close();
		_Lost(B_TRANSLATE("the GPIO chip went away"), changes);
		return B_ENTRY_NOT_FOUND;
	}
	_Level(0, value, now, changes);
	return B_OK;
}

#endif
