#pragma once
// The names of the temporary files a save writes before renaming one over the
// settings file. Both platforms' file layers use them, so that a save on
// either recognises what a killed save on the other left behind.
#include <string>

namespace settings {

// The one temporary that every save of `path` goes through, under a lock.
std::string SharedTempPath(const std::string& path);

// A name no other save uses, for when the shared one cannot be had:
// "<path>.<pid>-<n>.tmp". Earlier versions always saved through such names.
std::string PrivateTempPath(const std::string& path, unsigned long pid, unsigned n);

// The process id in a private temporary's name, when `entry` (a bare folder
// entry) is one of the settings file `fileName`'s; 0 otherwise.
unsigned long PrivateTempOwner(const std::string& entry, const std::string& fileName);

}  // namespace settings
