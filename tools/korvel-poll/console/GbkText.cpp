#include "korvel-poll/console/GbkText.h"

#include <windows.h>

#include <vector>

namespace {

constexpr UINT kGbkCodePage = 936;

}  // namespace

std::string GbkToUtf8(const char* gbk) {
    if (gbk == nullptr || *gbk == '\0') return "";
    int wideLength = MultiByteToWideChar(kGbkCodePage, 0, gbk, -1, nullptr, 0);
    if (wideLength <= 0) return "";
    std::vector<wchar_t> wide(wideLength);
    MultiByteToWideChar(kGbkCodePage, 0, gbk, -1, wide.data(), wideLength);
    int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return "";
    std::string utf8(utf8Length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, &utf8[0], utf8Length, nullptr, nullptr);
    utf8.resize(utf8Length - 1);
    return utf8;
}
