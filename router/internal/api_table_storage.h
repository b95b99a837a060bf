// The arrays behind one API table: the records the host reads and the arrays of texts and
// records they point into. Owned by the router; replaced as a whole by each rebuild.
#pragma once

#include "platform/allocator.h"
#include "platform/host_boundary.h"

namespace tev::router_internal {

struct ApiTableStorage {
  Vector<ApiEndpointEntry> endpoints;
  Vector<ApiTypeRecord> types;
  Vector<ApiEventRecord> events;
  // Each inner array is filled once and never resized, so the records can point into it (moving
  // an inner array within its outer one keeps its elements where they are).
  Vector<Vector<ApiArgumentRecord>> arguments;
  Vector<Vector<ApiFieldRecord>> fields;
  Vector<Vector<ApiEnumeratorRecord>> enumerators;
  Vector<Vector<ApiLocationRecord>> locations;
  Vector<Vector<ApiTagList>> tagLists;
  Vector<Vector<const char*>> texts;
};

}  // namespace tev::router_internal
