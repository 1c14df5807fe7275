// The POSIX system calls that outputs are made of: files found and made through folder
// descriptors, temporaries held for removal, owners and modes kept, results copied safely.
#pragma once
#ifndef _WIN32

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace common::detail {

// Links followed at most to find the file a path names, as the system itself stops.
inline constexpr int maxLinks = 40;

// Times a path is opened and found again before a file that keeps being replaced under it is
// refused: runs beside each other replace it once each.
inline constexpr int openTries = 16;

// The piece copied at a time when a result is copied onto its output.
inline constexpr std::size_t copyPiece = std::size_t{1} << 20;

bool sameFile(const struct stat& a, const struct stat& b);
// Closes `fd` if it is open, and marks it closed.
void closeFd(int& fd);
// A folder opened only to name files in it (see the definition for why "folder/."); -1 with
// errno set.
int openFolder(int at, const std::string& path);
// A path as its folder ("." when it has none) and its last part.
void split(const std::string& path, std::string& folder, std::string& name);
// The folder and the name of what `path` leads to, following the links of its last part. False
// with errno set when a folder cannot be opened.
bool locate(const std::string& path, int& folder, std::string& name);
// Whether `path` names a link that leads to nothing.
bool danglingLink(const std::string& path);
// A new file named in `folder`, held for removal from the moment it exists; -1 with errno set.
int createTemporary(int folder, mode_t mode, std::string& name, int& slot);
// Gives the file `fd` the owner, group and mode of `original`; false when owner or group cannot
// be kept. keepSetId() adds the set-ID bits once the file is written.
bool keepOwnerAndMode(int fd, const struct stat& original);
void keepSetId(int fd, const struct stat& original);
// Copies the whole of `from` onto `to`; false with `error` set, before any byte of `to` changed
// wherever the refusal can be known in advance.
bool copyOnto(int from, int to, int& error);

}  // namespace common::detail

#endif
