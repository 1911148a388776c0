#include "driver/DriverError.h"

namespace {

// GBK (code page 936) bytes, written as escapes so that no editor or
// compiler character-set setting can alter them.
const char* const kErrorTexts[] = {
    "OK",
    "\xb3\xf5\xca\xbc\xbb\xaf\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",  // device initialisation error
    "\xb4\xed\xce\xf3\xb5\xc4\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7\x21",  // wrong device address
    "\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7\x21",  // register not supported
    "\xb4\xed\xce\xf3\xb5\xc4\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd\x21",  // wrong data type
    "\xb6\xc1\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",                  // error reading the device
    "\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",                  // error writing the device
    "\xc9\xe8\xb1\xb8\xb3\xac\xca\xb1\xb2\xbb\xcf\xec\xd3\xa6\x21",  // device timed out
    "\xce\xb4\xd6\xaa\xb4\xed\xce\xf3\x21",                          // unknown error
    "\xd3\xc3\xd7\xd4\xb6\xa8\xd2\xe5\xb4\xed\xce\xf3",              // use the custom text
};

}  // namespace

// GBK as above: "write error! exception 05: the device took it and is
// carrying it out"
const char kAcknowledgedWriteText[] =
    "\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21\x20\xd2\xec\xb3\xa3\x30\x35\x3a\x20"
    "\xc9\xe8\xb1\xb8\xd2\xd1\xbd\xd3\xca\xdc\x2c\x20\xd5\xfd\xd4\xda\xd6\xb4\xd0\xd0";

int CDriverError::SetCode(int32_t code) {
    if (code < kErrorNone || code >= kErrorCustom) return 0;
    m_code = code;
    return 1;
}

void CDriverError::SetCustomText(const char* text) {
    m_customText = text;
    m_code = kErrorCustom;
}

const char* CDriverError::GetText(int reset) {
    const char* text = m_code == kErrorCustom ? m_customText.c_str() : kErrorTexts[m_code];
    if (reset) m_code = kErrorNone;
    return text;
}
