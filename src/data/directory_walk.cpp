// directory_walk.cpp -- lists every file under a folder, its subfolders included.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "data/data_internal.h"

namespace data {

namespace {

// A folder as the file system knows it, whatever path led there.
struct FolderId {
  dev_t device;
  ino_t inode;
  bool operator<(const FolderId& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};

bool walk_folder(const std::string& root, const std::string& relative, std::vector<FoundFile>& out,
                 std::set<FolderId>& visited) {
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
      // Links may lead to a folder seen before (a link to its own folder, two links to
      // each other, a link to "/"): each folder is listed once, by the first path met.
      if (!visited.insert(FolderId{info.st_dev, info.st_ino}).second) continue;
      complete = walk_folder(root, name + "/", out, visited) && complete;
    } else {
      out.push_back(FoundFile{name, path, static_cast<long>(info.st_size)});
    }
  }
  return complete;
}

}  // namespace

bool walk_files(const std::string& root, const std::string& relative, std::vector<FoundFile>& out) {
  // The folder scanned and every folder above it count as met: a link up the tree (to
  // "..", or to "/") would otherwise scan the folder again, or the whole disk.
  std::set<FolderId> visited;
  if (char* real = realpath((root + "/" + relative).c_str(), nullptr)) {
    std::string path = real;
    std::free(real);
    for (;;) {
      struct stat info {};
      if (stat(path.c_str(), &info) == 0) visited.insert(FolderId{info.st_dev, info.st_ino});
      if (path == "/" || path.empty()) break;
      const std::size_t slash = path.rfind('/');
      path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
  }
  return walk_folder(root, relative, out, visited);
}

}  // namespace data
