// Export macro of the listener library. The library is built with hidden
// visibility; only what carries APPMGR_EXPORT is visible to the host.
#ifndef APPMGR_APPMGREXPORT_H_
#define APPMGR_APPMGREXPORT_H_

#define APPMGR_EXPORT __attribute__((visibility("default")))

#endif  // APPMGR_APPMGREXPORT_H_
