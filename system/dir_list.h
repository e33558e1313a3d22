// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Listing a directory.
#pragma once

#include <string>
#include <vector>

// Appends to `names` the name of every entry of the open directory `dir`
// but "." and "..", read from its start, all before the caller acts on any
// (a directory read while it changes may skip names). Reads through `dir`
// itself, so it needs no descriptor of its own. 0, or the errno that kept
// it from reading the whole directory; the names read until then are kept.
int list_directory(int dir, std::vector<std::string>& names);
