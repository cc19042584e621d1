// File-system services beyond a single open file: names, directories, free space and the
// system's temporary directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabshift::platform {

// Removes a file; returns false (and leaves errno-style code in *error when given) on failure.
bool DeleteFile(const std::string& path, int* error = nullptr);
// Gives a file a new name, replacing a file of that name; false (error as for DeleteFile) on
// failure.
bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string CurrentDirectory();

// Names (without directory) of the plain files in `directory` matching a pattern in which '*'
// stands for any run of characters and '?' for one character; sorted by name.
std::vector<std::string> FindFiles(const std::string& directory, const std::string& pattern);

// The directory part of a path including its final separator ("" when there is none), and the
// name part after it.
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);
// Replaces the extension of the name part (everything from its last '.') or appends one.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// The directory for temporary files, with a trailing separator: $TMPDIR or /tmp.
std::string TemporaryDirectory();
// Bytes free for the caller on the volume that holds `path`; -1 when unknown.
int64_t DiskFreeBytes(const std::string& path);

}  // namespace tabshift::platform
