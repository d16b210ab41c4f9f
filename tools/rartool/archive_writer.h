#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RarEncodeStats;

// One item to put into an archive: a directory (no bytes) or a file.
struct PackItem {
    std::string name;  // relative, backslash-separated
    bool directory = false;
    std::vector<uint8_t> bytes;
};

struct PackOptions {
    bool compress = false;  // RAR 2.0 method 0x33 where it pays, stored otherwise
    bool solid = false;     // one compression stream across all compressed entries
};

// Lays out an archive like the shipped one: marker, 13-byte archive header, one block per item
// (directories with flags 0x80E0 and attribute 0x10; files with host system 2, versionNeeded 20,
// attribute 0x20), no end-of-archive block. stats (optional) gathers what the encoder produced.
std::vector<uint8_t> writeArchive(const std::vector<PackItem>& items, const PackOptions& options,
                                  RarEncodeStats* stats = nullptr);

// Collects DIR's contents in a fixed order (by relative path; a directory before what it holds).
// False, with a reason, when DIR cannot be read.
bool collectPackItems(const std::string& dir, std::vector<PackItem>& items, std::string& error);
