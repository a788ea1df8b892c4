// The blocks that a /tsv report stands for, rebuilt by the rules of a
// block, so that a flat report can be checked against the plain one.
#pragma once

#include <string>

namespace vesk {
namespace test {

/// The blocks of flat: consecutive lines of one path make one block, its
/// header the path, the flags and (when ownerLabel is not "" and the owner
/// column is not empty) a tab, ownerLabel, a blank and the owner; each line
/// the trustee, mode, permissions (with their closing tab when not empty)
/// and inheritance. "" and *error set on a line without seven columns.
std::string blocksFromFlat(const std::string& flat,
                           const std::string& ownerLabel, std::string* error);

}  // namespace test
}  // namespace vesk
