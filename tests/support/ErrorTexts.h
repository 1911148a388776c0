#pragma once
// The GBK (code page 936) texts GetErrorText hands a host, written out here
// once so that every test reads a text back as its code against this copy
// and not against the module's own table.
#include <cstdint>
#include <cstring>
#include <iterator>

// The texts of the codes 0 to 8, in code order.
inline const char* const kErrorTexts[] = {
    "OK",
    "\xb3\xf5\xca\xbc\xbb\xaf\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",
    "\xb4\xed\xce\xf3\xb5\xc4\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7\x21",
    "\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7\x21",
    "\xb4\xed\xce\xf3\xb5\xc4\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd\x21",
    "\xb6\xc1\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",
    "\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",
    "\xc9\xe8\xb1\xb8\xb3\xac\xca\xb1\xb2\xbb\xcf\xec\xd3\xa6\x21",
    "\xce\xb4\xd6\xaa\xb4\xed\xce\xf3\x21",
};

// The code whose text this is, -1 for any other text.
inline int32_t CodeOfText(const char* text) {
    if (text == nullptr) return -1;
    for (int32_t code = 0; code < static_cast<int32_t>(std::size(kErrorTexts)); ++code) {
        if (std::strcmp(text, kErrorTexts[code]) == 0) return code;
    }
    return -1;
}
