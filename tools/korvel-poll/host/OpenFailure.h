#pragma once
// Why the driver did not open a line. Its error text says only that the
// device could not be initialised; when its settings file was the cause, the
// reason is in the frame trace, which is followed during every Open.
#include <string>

#include "driver/IDeviceDriver.h"
#include "korvel-poll/trace/FrameTraceView.h"

// "cannot open COM3: <driver text>", and on a second line the settings
// file's reason when there is one.
std::string DescribeOpenFailure(IDeviceDriver& driver, int port, FrameTraceView& trace);
