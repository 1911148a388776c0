#include "korvel-poll/DriverTexts.h"

#include "korvel-poll/GbkText.h"

namespace {

struct TextMeaning {
    const char* utf8;
    const char* english;
};

const TextMeaning kMeanings[] = {
    {"初始化设备错误!", "device initialisation error"},
    {"错误的设备地址!", "wrong device address"},
    {"不支持该寄存器!", "register not supported"},
    {"错误的数据类型!", "wrong data type"},
    {"读设备错误!", "error reading the device"},
    {"写设备错误!", "error writing the device"},
    {"设备超时不响应!", "device timed out without answering"},
    {"未知错误!", "unknown error"},
};

}  // namespace

std::string DescribeDriverText(const char* gbk) {
    return DescribeUtf8DriverText(GbkToUtf8(gbk));
}

std::string DescribeUtf8DriverText(const std::string& utf8) {
    for (const TextMeaning& meaning : kMeanings) {
        if (utf8 == meaning.utf8) return utf8 + " (" + meaning.english + ")";
    }
    return utf8;
}
