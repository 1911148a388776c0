#pragma once
// The driver's texts are GBK (code page 936); terminals here speak UTF-8.
#include <string>

// Converts through UTF-16. A null text gives ""; bytes that are not GBK come
// out as the replacement character rather than being dropped.
std::string GbkToUtf8(const char* gbk);
