// A distributed cluster instance.
#ifndef PLATFORM_DISTRIBUTEDCLUSTERINSTANCE_H_
#define PLATFORM_DISTRIBUTEDCLUSTERINSTANCE_H_

#include "platform/AppTypes.h"

class DistributedClusterInstance {
 public:
  explicit DistributedClusterInstance(unsigned long instanceId) : instanceId_(instanceId) {}
  // 0 on success; type receives the cluster type.
  int getClusterType(App::DistributedClusterType& type, void* context);

 private:
  unsigned long instanceId_;
};

#endif  // PLATFORM_DISTRIBUTEDCLUSTERINSTANCE_H_
