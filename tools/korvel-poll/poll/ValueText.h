#pragma once
// Tag values as text: what a read delivered, and what a write should send.
#include <cstdint>
#include <string>

#include "tags/TagRecords.h"

// The field of the tag's data type, as text ("21.5", "65535", "1").
std::string FormatValue(int16_t dataType, const TagValue& value);
// Fills the field of the data type from text; returns an empty text, or one
// line saying what is wrong (with the range the type allows).
std::string ParseValue(int16_t dataType, const std::string& text, TagValue& value);
