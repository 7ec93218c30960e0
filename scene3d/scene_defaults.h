#pragma once

// The steps of the scene's parts that its start-up, reset and restore run in order.

void ReserveStaticWorldDefault();  // room for 4000 vertices in the static world
