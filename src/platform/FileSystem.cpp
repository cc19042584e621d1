#include "platform/FileSystem.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tabshift::platform {

bool DeleteFile(const std::string& path, int* error) {
  if (unlink(path.c_str()) == 0) return true;
  if (error != nullptr) *error = errno;
  return false;
}

bool RenameFile(const std::string& from, const std::string& to, int* error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  if (error != nullptr) *error = errno;
  return false;
}

bool FileExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string CurrentDirectory() {
  char* name = getcwd(nullptr, 0);
  if (name == nullptr) return {};
  std::string directory = name;
  free(name);
  return directory;
}

std::vector<std::string> FindFiles(const std::string& directory, const std::string& pattern) {
  std::vector<std::string> names;
  const std::string folder = directory.empty() ? "." : directory;
  struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
  };
  std::unique_ptr<DIR, DirectoryCloser> listing(opendir(folder.c_str()));
  if (!listing) return names;
  while (const dirent* entry = readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
    struct stat status {};
    const std::string full = folder + "/" + name;
    if (stat(full.c_str(), &status) == 0 && S_ISREG(status.st_mode)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ExtractFilePath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const size_t name_start =
      path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
  const size_t dot = path.find_last_of('.');
  const bool has_extension = dot != std::string::npos && dot >= name_start;
  return (has_extension ? path.substr(0, dot) : path) + extension;
}

std::string TemporaryDirectory() {
  const char* configured = std::getenv("TMPDIR");
  std::string directory = configured != nullptr && *configured != '\0' ? configured : "/tmp";
  if (directory.back() != '/') directory += '/';
  return directory;
}

int64_t DiskFreeBytes(const std::string& path) {
  struct statvfs volume {};
  if (statvfs(path.c_str(), &volume) != 0) return -1;
  return static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize);
}

}  // namespace tabshift::platform
