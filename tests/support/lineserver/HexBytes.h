#pragma once
// Frames travel over the command connection as hex text, two digits a byte.
#include <string>

#include "RtuFrames.h"

std::string ToHex(const Bytes& bytes);
bool FromHex(const std::string& text, Bytes& bytes);
