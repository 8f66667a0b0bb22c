// Password re-encryption of property lists: not built yet.
#include "AppMgr/Streamer.h"

void Streamer::convertPasswords(AppMgrPropsList& /*list*/, int /*level*/, int /*version*/) {}
void Streamer::convertPasswords(PropertyList& /*list*/, int /*level*/, int /*version*/) {}
