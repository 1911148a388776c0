#pragma once
// The driver's error texts for a reader of the terminal: the text itself,
// converted to UTF-8, and its meaning in English where it is one of the
// driver's own.
#include <string>

// "读设备错误! (error reading the device)".
std::string DescribeDriverText(const char* gbk);
// The same for a text already converted to UTF-8.
std::string DescribeUtf8DriverText(const std::string& utf8);
