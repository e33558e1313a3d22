// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// The one judgment of a file that the launcher works in or writes to, in a
// place others may reach (/tmp): the work directories, the log and its
// older part.
#pragma once

#include <sys/stat.h>

enum class ownership : unsigned char {
    own,            // of the expected type, the launcher's user's, one name
    symbolic_link,  // where something else was expected
    other_type,
    other_owner,  // another user's
    other_links,  // a regular file with more names than one: anybody's way in
};

// What `status` shows of a file that must be of `type` (S_IFDIR, S_IFREG)
// and belong to `owner`.
inline ownership ownership_of(const struct stat& status, mode_t type, uid_t owner) {
    return S_ISLNK(status.st_mode)                 ? ownership::symbolic_link
           : (status.st_mode & S_IFMT) != type     ? ownership::other_type
           : status.st_uid != owner                ? ownership::other_owner
           : S_ISREG(type) && status.st_nlink != 1 ? ownership::other_links
                                                   : ownership::own;
}
