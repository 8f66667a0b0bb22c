// Enumerations of the platform's type catalogue.
#ifndef PLATFORM_APPTYPES_H_
#define PLATFORM_APPTYPES_H_

namespace App {
enum DistributedClusterType : int {};
enum CloudAppsInstanceType : int {};
}  // namespace App

#endif  // PLATFORM_APPTYPES_H_
