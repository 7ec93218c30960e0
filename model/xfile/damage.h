#pragma once
#include <memory>
#include <string>
#include <vector>

#include "model/xfile/xfile.h"

// The first damage, depth first, that would leave a model built from the objects short of
// what the file says it holds: an object of mesh or key data whose counts do not match its
// data (either way), a mesh of no face or a face of fewer than three corners, a face that names
// a vertex, normal or material past its list, a material list holding fewer materials than it
// counts or referring to no material, an animation key with fewer values than its kind needs.
// "" when there is none. References are not followed (their targets are
// checked where they stand).
std::string FirstXDamage(const std::vector<std::unique_ptr<XObject>>& objects);
