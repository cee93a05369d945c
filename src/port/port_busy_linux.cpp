// Why a tty's open failed with EBUSY: the tty is in exclusive mode
// (TIOCEXCL), which only a program with CAP_SYS_ADMIN gets past.  Either a
// program has it open now, or one that ended (killed, crashed) left the mode
// set: on a pseudo-terminal whose other side stays open, or on a port whose
// driver keeps the tty, it stays set until the device goes away.
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "port/link_posix.h"
#include "port/sysfs_linux.h"

namespace plc {

namespace {

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (const char* c = text; *c != '\0'; ++c) {
    if (isdigit(static_cast<unsigned char>(*c)) == 0) return false;
  }
  return true;
}

// True when a descriptor of the process in procDir (".../1234") names node.
// seen is false when its descriptors could not be read (another user's).
bool HasOpen(const char* procDir, const char* node, bool* seen) {
  char fdDir[4096];
  *seen = true;
  if (!FormatPath(fdDir, sizeof fdDir, "%s/fd", procDir)) return false;
  DIR* dir = opendir(fdDir);
  if (dir == nullptr) {
    *seen = errno == ENOENT;  // a process that ended has nothing open
    return false;
  }
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char link[4096 + 256];
    char target[PATH_MAX];
    if (!FormatPath(link, sizeof link, "%s/%s", fdDir, entry->d_name)) continue;
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (std::strcmp(target, node) == 0) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

bool FindNodeUserIn(const char* procRoot, const char* node, NodeUser* out) {
  *out = NodeUser{};
  out->everyProcessSeen = true;
  DIR* dir = opendir(procRoot);
  if (dir == nullptr) {
    out->everyProcessSeen = false;
    return false;
  }
  while (const dirent* entry = readdir(dir)) {
    if (!AllDigits(entry->d_name)) continue;
    char procDir[4096];
    if (!FormatPath(procDir, sizeof procDir, "%s/%s", procRoot, entry->d_name)) continue;
    bool seen = true;
    if (!HasOpen(procDir, node, &seen)) {
      out->everyProcessSeen = out->everyProcessSeen && seen;
      continue;
    }
    out->pid = std::atoi(entry->d_name);
    char commPath[4096 + 8];
    std::FILE* f = FormatPath(commPath, sizeof commPath, "%s/comm", procDir)
                       ? std::fopen(commPath, "r")
                       : nullptr;
    if (f != nullptr) {
      if (std::fgets(out->comm, sizeof out->comm, f) == nullptr) out->comm[0] = '\0';
      (void)std::fclose(f);
    }
    out->comm[std::strcspn(out->comm, "\n")] = '\0';
    if (out->comm[0] == '\0') (void)std::snprintf(out->comm, sizeof out->comm, "?");
    closedir(dir);
    return true;
  }
  closedir(dir);
  return false;
}

Refusal BusyRefusalIn(const char* procRoot, const char* path) {
  char node[PATH_MAX];
  if (realpath(path, node) == nullptr) (void)std::snprintf(node, sizeof node, "%s", path);
  NodeUser user{};
  if (FindNodeUserIn(procRoot, node, &user)) {
    return Refused(RefusalKind::kBusy, "%s is in use by process %d (%s) (busy)", path, user.pid,
                   user.comm);
  }
  if (user.everyProcessSeen) {
    return Refused(RefusalKind::kStale,
                   "%s was left in exclusive mode by a program that ended without letting it go "
                   "(busy); replug the device (or power-cycle it) to free it",
                   path);
  }
  return Refused(
      RefusalKind::kStale,
      "%s is in exclusive mode but no program of this user has it open: one that ended left "
      "it so (busy); unless another user is using it, replug the device (or power-cycle it)",
      path);
}

}  // namespace plc
