#pragma once
#include <string>

// Puts a CR before every LF that has none, for the multi-line info field.
void ConvertLfToCrLf(std::string& text);
