// SPDX-License-Identifier: MIT
// Anchor for the resource library; the resources themselves are compiled in
// by the fragments of resources/CMakeLists.txt.
