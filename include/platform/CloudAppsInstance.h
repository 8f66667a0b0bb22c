// A cloud application instance.
#ifndef PLATFORM_CLOUDAPPSINSTANCE_H_
#define PLATFORM_CLOUDAPPSINSTANCE_H_

#include "platform/AppTypes.h"

class CloudAppsInstance {
 public:
  explicit CloudAppsInstance(unsigned long instanceId) : instanceId_(instanceId) {}
  // 0 on success; type receives the instance's cloud type.
  int getInstanceType(App::CloudAppsInstanceType& type, void* context);

 private:
  unsigned long instanceId_;
};

#endif  // PLATFORM_CLOUDAPPSINSTANCE_H_
