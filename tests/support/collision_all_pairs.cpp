#include "tests/support/collision_all_pairs.h"

#include <vector>

#include "collision/responses.h"
#include "collision/world.h"

int32_t TestEveryCollisionPair() {
  CollisionWorld& w = g_collision;
  std::vector<CollisionObject*> objects;
  for (const auto& [key, object] : w.objects) objects.push_back(object);
  int32_t count = 0;
  ++w.testDepth;
  for (size_t i = 1; i < objects.size(); ++i)
    for (size_t j = 0; j < i; ++j) {
      if (objects[i]->dead || objects[j]->dead) continue;
      EncounterPair pair = OrderEncounter(objects[j], objects[i]);
      Vec3 v{0, 0, 0};
      if (TestCollisionPair(*pair.first, *pair.second, v)) ++count;
    }
  if (--w.testDepth == 0) {
    for (CollisionObject* object : w.graveyard) delete object;
    w.graveyard.clear();
  }
  return count;
}
