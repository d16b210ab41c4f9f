#pragma once

#include <cstdint>
#include <span>

// The bytes of an embedded resource: one contiguous read-only span for the life of the process,
// empty when there is no such resource. Each build links one implementation: the table generated
// from resources/manifest.txt on Linux, the module's resources on Windows.
std::span<const uint8_t> findResource(const char* type, int id);

constexpr const char* kCustomData = "CustomData";
