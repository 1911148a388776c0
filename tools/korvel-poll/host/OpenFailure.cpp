#include "korvel-poll/host/OpenFailure.h"

#include "korvel-poll/host/DriverTexts.h"

std::string DescribeOpenFailure(IDeviceDriver& driver, int port, FrameTraceView& trace) {
    std::string text = "cannot open COM" + std::to_string(port) + ": " + DescribeDriverText(driver.GetErrorText());
    const std::string problem = trace.SettingsProblem();
    if (!problem.empty()) text += "\n  settings: " + problem;
    return text;
}
