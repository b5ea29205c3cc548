// SPDX-License-Identifier: MIT
// The verb groups of kavoda-cli, one file each. A new group is one function
// here and one line in the list of Cli.cpp.
#pragma once

namespace kavoda {

class VerbTable;

void addByteVerbs(VerbTable& verbs);     // get, set (ByteVerbs.cpp)
void addChipVerbs(VerbTable& verbs);     // read, write, verify, erase, fill (ChipVerbs.cpp)
void addInspectVerbs(VerbTable& verbs);  // dump, probe (InspectVerbs.cpp)

}  // namespace kavoda
