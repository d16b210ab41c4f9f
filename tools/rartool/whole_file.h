#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a regular file whole. A folder, a device, a pipe or a file that cannot be read is refused
// with the reason in error ("is a directory", "not a regular file", the system's message).
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
