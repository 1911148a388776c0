#pragma once
// Frames travel over the command connection as hex text, two digits a byte,
// written and read with these on both ends: the server and the line fixture.
#include <string>

#include "RtuFrames.h"

std::string ToHex(const Bytes& bytes);
bool FromHex(const std::string& text, Bytes& bytes);
