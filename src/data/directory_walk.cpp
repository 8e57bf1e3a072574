// directory_walk.cpp -- lists every file under a folder, its subfolders included.
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/data_internal.h"

namespace data {

bool walk_files(const std::string& root, const std::string& relative,
                std::vector<FoundFile>& out) {
  std::string dir = root + "/" + relative;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  DIR* handle = opendir(dir.c_str());
  if (!handle) return false;
  std::vector<std::string> children;
  while (dirent* entry = readdir(handle)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    children.emplace_back(entry->d_name);
  }
  closedir(handle);
  bool complete = true;
  for (const std::string& child : children) {
    const std::string path = dir + "/" + child;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) continue;  // gone, or a dangling link
    const std::string name = relative + child;
    if (S_ISDIR(info.st_mode)) {
      complete = walk_files(root, name + "/", out) && complete;
    } else {
      out.push_back(FoundFile{name, path, static_cast<long>(info.st_size)});
    }
  }
  return complete;
}

}  // namespace data
