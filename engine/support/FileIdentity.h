// SPDX-License-Identifier: MIT
// Whether two paths name one file, so that no output of a run can overwrite
// one of its inputs however the paths are spelt (./x, links, ../dir/x).
#pragma once

#include <string>

namespace kavoda {

// Same device and inode when both files exist. A path that does not exist
// yet (or a link to nowhere) is compared by the file it would create: its
// resolved folder and its name.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace kavoda
