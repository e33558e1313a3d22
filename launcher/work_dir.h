// The launcher's work directory in /tmp.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// Creates the work directory, then removes from it every entry whose name
// holds a dot and doesn't begin with one (the CSV configuration of an
// earlier run among them), and removes the client's map file in /var.
// These are shell commands and their results are not examined.
//
// Between the creation and the removals, the directory and its parent are
// checked: when either is not a real directory owned by the launcher's
// effective user, nothing is removed, the reason is printed on standard
// error and the result is false.
bool rebuild_work_dir();

// Why `path` can't be trusted as a directory of user `owner`, or nothing:
// it is missing, a symbolic link, not a directory, or someone else's.
std::optional<std::string> untrusted_dir_reason(const char* path, uid_t owner);
