#include "korvel-poll/host/DriverTexts.h"

#include <iterator>

#include "driver/DriverError.h"
#include "korvel-poll/console/GbkText.h"

namespace {

// Indexed by the driver's error code, whose texts the driver's error state
// holds; a code without a meaning here is shown as its text alone.
const char* const kMeanings[] = {
    nullptr,
    "device initialisation error",
    "wrong device address",
    "register not supported",
    "wrong data type",
    "error reading the device",
    "error writing the device",
    "device timed out without answering",
    "unknown error",
};

constexpr char kAcknowledgedWriteMeaning[] = "error writing the device: it took the write and is carrying it out";

}  // namespace

std::string DescribeDriverText(const char* gbk) {
    return DescribeUtf8DriverText(GbkToUtf8(gbk));
}

std::string DescribeUtf8DriverText(const std::string& utf8) {
    CDriverError error;
    for (int32_t code = 0; code < static_cast<int32_t>(std::size(kMeanings)); ++code) {
        error.SetCode(code);
        if (kMeanings[code] != nullptr && utf8 == GbkToUtf8(error.GetText(0))) {
            return utf8 + " (" + kMeanings[code] + ")";
        }
    }
    if (utf8 == GbkToUtf8(kAcknowledgedWriteText)) return utf8 + " (" + kAcknowledgedWriteMeaning + ")";
    return utf8;
}
