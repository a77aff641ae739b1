// The sources of a files line: a file, a directory tree or a glob.
#include <dirent.h>
#include <errno.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/codepage.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "manifest/parser.h"
#include "manifest/target_name.h"
#include "read/media.h"

namespace pkgtool {

// The source, quoted when it holds a comma, then the flags; false when
// something is wrong.
bool Parser::ParseSource(const std::string& target, const std::string& value,
                         ManifestFile* file) {
  std::string rest;
  if (!value.empty() && value[0] == '"') {
    size_t close = value.find('"', 1);
    if (close == std::string::npos) {
      Error("the quoted source has no closing '\"'");
      return false;
    }
    file->source = value.substr(1, close - 1);
    rest = Trim(value.substr(close + 1));
    if (!rest.empty() && rest[0] != ',') {
      Error("expected ',' after the quoted source");
      return false;
    }
  } else {
    size_t comma = value.find(',');
    file->source = Trim(value.substr(0, comma));
    if (comma != std::string::npos) rest = value.substr(comma);
  }
  if (file->source.empty()) {
    Error("target \"" + target + "\" has no source file");
    return false;
  }
  bool ok = true;
  size_t start = rest.empty() ? std::string::npos : 1;
  while (start != std::string::npos) {
    size_t comma = rest.find(',', start);
    std::string flag = Trim(rest.substr(
        start, comma == std::string::npos ? std::string::npos : comma - start));
    start = comma == std::string::npos ? std::string::npos : comma + 1;
    size_t equals = flag.find('=');
    std::string name = Trim(flag.substr(0, equals));
    if (SameText(name, "shared") && equals == std::string::npos) {
      file->shared = true;
    } else if (SameText(name, "noInstall") && equals == std::string::npos) {
      file->noInstall = true;
    } else if (SameText(name, "version") && equals != std::string::npos) {
      std::string version = Trim(flag.substr(equals + 1));
      if (!ParseVersion(version, &file->versionMs, &file->versionLs)) {
        Error("version \"" + version + "\" is not a.b.c.d (each 0 to 65535)");
        ok = false;
      }
      file->hasVersion = true;
    } else {
      Error("unknown flag \"" + flag +
            "\" (shared, noInstall, version=a.b.c.d)");
      ok = false;
    }
  }
  if (file->hasVersion && !file->shared) {
    Error("version= is only for shared files");
    ok = false;
  }
  return ok;
}

// A target ending in '\' names a directory of the user's disk: it takes
// every regular file below a directory source, the regular files a glob
// source matches (by their base names), or one file by its base name.
void Parser::AddFilesBelow(const std::string& prefix,
                           const ManifestFile& model) {
  std::string why = CheckTargetName(prefix + "x");
  if (!why.empty()) {
    Error("target \"" + prefix + "\": " + why);
    return;
  }
  std::vector<FoundFile> found;
  const std::string& source = model.sourcePath;
  PathKind kind = PathKind::kNone;
  if (!LookAt(source, &kind, &why)) {
    Error(why);
    return;
  }
  if (kind == PathKind::kDirectory) {
    if (!ListTree(source, &found)) return;
    if (found.empty()) {
      Error(source + " holds no file");
      return;
    }
  } else if (kind != PathKind::kFile &&
             model.source.find_first_of("*?[") != std::string::npos) {
    if (!ListGlob(model, &found)) return;
  } else {
    found.push_back({BaseName(source), source});
  }
  // Named below prefix, in the byte order of their names.
  std::vector<FoundFile> named;
  for (const FoundFile& one : found) {
    if (one.relative.find('\\') != std::string::npos) {
      Error(one.hostPath +
            ": a '\\' in a file name would separate directories on Windows");
      continue;
    }
    named.push_back({prefix + one.relative, one.hostPath});
    std::replace(named.back().relative.begin(), named.back().relative.end(),
                 '/', '\\');
  }
  std::stable_sort(named.begin(), named.end(),
                   [](const FoundFile& a, const FoundFile& b) {
                     return a.relative < b.relative;
                   });
  for (const FoundFile& one : named) {
    ManifestFile file = model;
    file.target = file.utf8Target = one.relative;
    file.source = file.sourcePath = one.hostPath;
    manifest_->files.push_back(file);
  }
}

// Adds the regular files below root to *found. Real directories are
// walked first, each under its own name; a link to a directory is entered
// afterwards, and only when the walk has not taken that directory already
// (a link beside its target, or back up, adds nothing). False when a fault
// was reported.
bool Parser::ListTree(const std::string& root, std::vector<FoundFile>* found) {
  Visited visited;
  std::vector<std::string> links;  // below root, in the order found
  bool ok = WalkDirectory(root, "", &visited, found, &links);
  for (size_t next = 0; next < links.size(); ++next) {
    ok = WalkDirectory(root, links[next], &visited, found, &links) && ok;
  }
  return ok;
}

// One directory of ListTree, unless it was taken already: its files to
// *found, its directories walked, its links to directories to *links.
bool Parser::WalkDirectory(const std::string& root, const std::string& relative,
                           Visited* visited, std::vector<FoundFile>* found,
                           std::vector<std::string>* links) {
  const std::string dir = relative.empty() ? root : JoinPath(root, relative);
  struct stat info;
  if (::stat(dir.c_str(), &info) != 0) {
    Error(dir + ": cannot look: " + SystemError());
    return false;
  }
  if (!visited->insert({info.st_dev, info.st_ino}).second) return true;
  // Sorted: the same walk on every host.
  std::vector<std::string> names;
  std::string error;
  if (!ListDirectory(dir, &names, &error)) {
    Error(error);
    return false;
  }
  bool ok = true;
  for (const std::string& name : names) {
    const std::string inner = relative.empty() ? name : relative + "/" + name;
    const std::string path = JoinPath(root, inner);
    if (::lstat(path.c_str(), &info) != 0) {
      Error(path + ": " + SystemError());
      ok = false;
      continue;
    }
    if (S_ISLNK(info.st_mode)) {
      if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ELOOP) {
          Error(path + ": " + SystemError());
          ok = false;
          continue;
        }
        char to[4096];
        const ssize_t length = ::readlink(path.c_str(), to, sizeof to - 1);
        to[length < 0 ? 0 : length] = '\0';
        Warning(path + ": a symbolic link that leads nowhere (to " + to +
                "); passed over");
        continue;
      }
      if (S_ISDIR(info.st_mode)) {
        links->push_back(inner);
        continue;
      }
    }
    if (S_ISDIR(info.st_mode)) {
      ok = WalkDirectory(root, inner, visited, found, links) && ok;
    } else if (S_ISREG(info.st_mode)) {
      found->push_back({inner, path});
    }
  }
  return ok;
}

// Adds the regular files the glob pattern of model's source matches.
bool Parser::ListGlob(const ManifestFile& model,
                      std::vector<FoundFile>* found) {
  std::string pattern = model.source[0] == '/'
                            ? model.source
                            : JoinPath(QuoteGlob(DirName(path_)), model.source);
  glob_t matches;
  int result = ::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &matches);
  if (result == 0) {
    for (size_t i = 0; i < matches.gl_pathc; ++i) {
      std::string path = matches.gl_pathv[i];
      struct stat info;
      std::string why;
      if (::stat(path.c_str(), &info) != 0 &&
          (errno == ENOENT || errno == ELOOP) &&
          ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        Warning(path + ": a symbolic link that leads nowhere; passed over");
      } else if (IsRegularFile(path, &why)) {
        found->push_back({BaseName(path), path});
      } else if (!why.empty()) {
        Error(why);
      }
    }
  }
  ::globfree(&matches);
  if (result != 0 && result != GLOB_NOMATCH) {
    Error("\"" + model.source + "\" cannot be searched: " + SystemError());
    return false;
  }
  if (found->empty()) {
    Error("\"" + model.source + "\" matches no file");
    return false;
  }
  // Files of the same base name from two directories: by their paths.
  std::sort(found->begin(), found->end(),
            [](const FoundFile& a, const FoundFile& b) {
              return a.hostPath < b.hostPath;
            });
  return true;
}

}  // namespace pkgtool
